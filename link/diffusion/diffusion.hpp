// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <chrono>
#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/diffusion/emetteur_audio.hpp"
#include "link/diffusion/source_diffusion.hpp"
#include "protocol/audio/format_flux.hpp"
#include "protocol/supervision/attente_reprise.hpp"

namespace ravlo {

/// Une diffusion, de la liaison obtenue jusqu'à la fin : l'anneau (une demi-seconde du flux), la
/// source qui l'emplit, et l'émetteur qui le vide vers les récepteurs appairés, un par pièce. C'est
/// le seul assemblage de l'envoi : `ravlo-envoi` et l'application le pilotent.
///
/// La pièce de la création porte le numéro 0, les suivantes 1, 2… Chacune a ses clés, ses
/// numéros de paquet et sa connexion (une voie de l'émetteur). Une pièce qui finit (son
/// récepteur a dit fin, ou ne répond plus) quand d'autres restent n'appelle que
/// `quandPieceFinie` ; la dernière finit la diffusion avec sa raison.
///
/// Toutes les 0,5 s (horloge continue), le suivi relève les statistiques et surveille la
/// source. Une source en panne, ou qui ne livre aucune trame nouvelle pendant 2 s, est
/// relancée (`relancerSource`) tant que dure la diffusion, les essais espacés de 0,5 s, 1 s,
/// 2 s, 4 s puis 5 s (`AttenteReprise`) : un serveur de son arrêté ou relancé se retrouve
/// seul. Une relance refusée, ou deux sans effet, font passer `sourceMuette` à vrai (la
/// diffusion continue), qui redevient faux dès que la source livre de nouveau ; sans
/// relance, une source en panne finit la diffusion. Une source épuisée finit la diffusion
/// quand l'anneau ne tient plus un paquet.
///
/// Cycle de vie (`Etape`) : préparée (pièces ajoutées, rien ne tourne ; un démarrage refusé
/// y laisse), en cours (par `demarrer`), finie (par `arreter`, ou à la fin de la dernière
/// pièce ou de la source). Une diffusion ne sert qu'une fois.
///
/// Fil principal ; les rappels de l'émetteur y repassent, et ceux d'une diffusion arrêtée
/// sont ignorés. `quandFin` est appelé une fois, la diffusion déjà arrêtée.
class Diffusion : public std::enable_shared_from_this<Diffusion> {
 public:
  using NumeroPiece = std::uint32_t;

  enum class Fin : std::uint8_t {
    parRecepteur,  ///< le récepteur a arrêté la lecture
    injoignable,   ///< le récepteur ne répond plus
    sourceEpuisee,
    sourceEnPanne  ///< sans relance : `panne()` dit pourquoi
  };

  struct StatistiquesPiece {
    NumeroPiece numero = 0;
    std::string nom;
    PointReseau point;
    VoieEmission::Statistiques voie;
    bool operator==(const StatistiquesPiece&) const = default;
  };

  struct Statistiques {
    /// L'anneau et sa lecture, communs aux pièces ; le reste est à chaque pièce (`pieces`).
    EmetteurAudio::Statistiques emetteur;
    double duree = 0;           ///< secondes depuis le démarrage
    std::int64_t trames = 0;    ///< livrées par la source depuis son dernier démarrage
    bool sourceMuette = false;  ///< la source ne livre plus malgré ses relances, qui continuent
    std::int64_t sourcesRelancees = 0;
    /// Les pièces en service, par numéro ; après la fin, celles qui l'étaient à la fin.
    std::vector<StatistiquesPiece> pieces;
    bool operator==(const Statistiques&) const = default;
  };

  struct Dependances {
    Executeur* principal = nullptr;
    std::shared_ptr<File> fileEmetteur;  ///< "ravlo.emetteur"
    std::shared_ptr<FabriqueConnexions> connexions;
    const Horloge* horloge = &horlogeSysteme();
    bool relancerSource = true;
  };

  static constexpr auto capaciteTampon =
      static_cast<std::int64_t>(flux::octetsParTrame) * flux::tramesParSeconde / 2;
  static constexpr std::chrono::milliseconds periodeSuivi{500};
  /// Sans trame nouvelle depuis ce délai, la source est tenue pour muette.
  static constexpr std::chrono::seconds delaiSansTrame{2};
  static constexpr std::int64_t relancesMax = 2;

  /// Ne démarre rien. `nom` : celui qu'annonce le récepteur de la pièce 0 (peut être vide).
  [[nodiscard]] static std::shared_ptr<Diffusion> creer(Dependances dependances,
                                                        const FabriqueSource& source,
                                                        PointReseau point, Liaison liaison,
                                                        std::string nom = {});
  ~Diffusion();
  Diffusion(const Diffusion&) = delete;
  Diffusion& operator=(const Diffusion&) = delete;

  /// La source d'abord : si elle ne démarre pas, rien ne part et rien ne reste. Au moins une
  /// pièce doit rester.
  [[nodiscard]] std::expected<void, ErreurCapture> demarrer();
  /// Sûr à tout moment, autant de fois qu'on veut.
  void arreter();

  /// Une pièce de plus, sous ses propres clés. Pendant l'envoi, elle reçoit les blocs à partir
  /// du suivant ; avant `demarrer()`, elle part avec la pièce 0, au même bloc. Après la fin,
  /// sans effet.
  NumeroPiece ajouterPiece(PointReseau point, Liaison liaison, std::string nom);
  /// Cette pièce cesse de recevoir ; les autres continuent. Retirer la dernière finit la
  /// diffusion (`quandFin` avec `parRecepteur`). Un numéro qui n'est plus en service : rien.
  void retirerPiece(NumeroPiece numero);

  void quandFin(std::function<void(Fin)> rappel) { quandFin_ = std::move(rappel); }
  /// Une pièce finie d'elle-même (fin de son récepteur, ou injoignable) quand d'autres restent.
  void quandPieceFinie(std::function<void(NumeroPiece, Fin)> rappel) {
    quandPieceFinie_ = std::move(rappel);
  }
  /// Après chaque relevé qui a changé quelque chose.
  void quandChange(std::function<void()> rappel) { quandChange_ = std::move(rappel); }
  /// Une pièce en service dont le récepteur se tait (`muette`, rien d'authentique depuis 3 s)
  /// ou parle de nouveau : une fois par changement, au relevé qui le voit, après `quandChange`.
  void quandSilence(std::function<void(NumeroPiece, bool muette)> rappel) {
    quandSilence_ = std::move(rappel);
  }

  /// Le dernier relevé du suivi.
  [[nodiscard]] const Statistiques& statistiques() const { return statistiques_; }
  /// Un relevé pris maintenant (les compteurs de l'émetteur restent lisibles après l'arrêt).
  [[nodiscard]] Statistiques releve() const;
  /// Les compteurs d'une pièce en service, ou ceux de sa fin pour une pièce finie d'elle-même
  /// (`prisPar` dit alors qui a pris son récepteur) ; rien pour un autre numéro.
  [[nodiscard]] std::optional<VoieEmission::Statistiques> compteursPiece(NumeroPiece numero) const;
  /// La panne de la source ; celle qui a fini la diffusion reste lisible après.
  [[nodiscard]] std::optional<ErreurCapture> panne() const {
    return panneFinale_ ? panneFinale_ : source_->panne();
  }
  [[nodiscard]] float niveau() const { return source_->niveau(); }
  /// Faux si le serveur de son refuse ; retenu pour les relances.
  bool changerSilence(bool ordinateurMuet) { return source_->changerSilence(ordinateurMuet); }
  [[nodiscard]] bool enCours() const { return etape_ == Etape::enCours; }

 private:
  enum class Etape : std::uint8_t { preparee, enCours, finie };

  struct Piece {
    NumeroPiece numero = 0;
    std::string nom;
    PointReseau point;
    Liaison liaison;
    EmetteurAudio::IdVoie voie = 0;  ///< donné au démarrage ou à l'ajout
  };

  Diffusion(Dependances dependances, const FabriqueSource& source);
  [[nodiscard]] InstantNs maintenant() const { return dep_.horloge->continueNs(); }
  [[nodiscard]] Tache rappelFin(NumeroPiece numero, Fin fin);
  void finirPiece(NumeroPiece numero, Fin fin);
  void finir(Fin fin);
  void planifierSuivi();
  void suivre();
  /// Appelle `quandSilence` pour chaque pièce dont le silence a changé depuis `avant`.
  void direSilences(const std::vector<StatistiquesPiece>& avant);
  /// Relance la source qui ne livre plus, ou dit pourquoi la diffusion finit.
  std::optional<Fin> surveillerSource(InstantNs t, Statistiques& s);

  Dependances dep_;
  std::shared_ptr<TamponAudio> tampon_;
  std::unique_ptr<SourceDiffusion> source_;
  /// En service, par numéro ; la dernière reste après la fin, pour ses compteurs.
  std::vector<Piece> pieces_;
  NumeroPiece prochainePiece_ = 0;
  std::shared_ptr<EmetteurAudio> emetteur_;
  std::function<void(Fin)> quandFin_;
  std::function<void(NumeroPiece, Fin)> quandPieceFinie_;
  std::function<void()> quandChange_;
  std::function<void(NumeroPiece, bool)> quandSilence_;
  /// Les pièces finies d'elles-mêmes ; l'émetteur garde les compteurs de leur voie.
  std::vector<Piece> finies_;
  Statistiques statistiques_;
  std::optional<ErreurCapture> panneFinale_;
  Etape etape_ = Etape::preparee;
  InstantNs debut_ = 0;
  // Dernier compte de trames vu et quand il a bougé : une source vivante le fait avancer.
  std::int64_t tramesVues_ = 0;
  InstantNs tramesVuesNs_ = 0;
  // Relances qui n'ont encore rien livré : deux de suite font une source muette.
  std::int64_t relancesSansEffet_ = 0;
  AttenteReprise attenteRelance_;
  bool relanceRefusee_ = false;
};

}  // namespace ravlo
