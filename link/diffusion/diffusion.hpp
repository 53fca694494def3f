#pragma once

#include <chrono>
#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <optional>

#include "link/diffusion/emetteur_audio.hpp"
#include "link/diffusion/source_diffusion.hpp"

namespace ravlo {

/// Une diffusion, de la liaison obtenue jusqu'à la fin : l'anneau (96 000 octets, une
/// demi-seconde), la source qui l'emplit, et l'émetteur qui le vide vers le récepteur
/// appairé. C'est le seul assemblage de l'envoi : `ravlo-envoi` et l'application le pilotent.
///
/// Toutes les 0,5 s (horloge continue), le suivi relève les statistiques et surveille la
/// source. Une source en panne, ou qui ne livre aucune trame nouvelle pendant 2 s, est
/// relancée (`relancerSource`), et après deux relances sans effet `sourceMuette` passe à
/// vrai (la diffusion continue) ; sans relance, une source en panne finit la diffusion. Une
/// source épuisée finit la diffusion quand l'anneau ne tient plus un paquet.
///
/// Fil principal ; les rappels de l'émetteur y repassent, et ceux d'une diffusion arrêtée
/// sont ignorés. `quandFin` est appelé une fois, la diffusion déjà arrêtée.
class Diffusion : public std::enable_shared_from_this<Diffusion> {
 public:
  enum class Fin : std::uint8_t {
    parRecepteur,  ///< le récepteur a arrêté la lecture
    injoignable,   ///< le récepteur ne répond plus
    sourceEpuisee,
    sourceEnPanne  ///< sans relance : `panne()` dit pourquoi
  };

  struct Statistiques {
    EmetteurAudio::Statistiques emetteur;
    double duree = 0;         ///< secondes depuis le démarrage
    std::int64_t trames = 0;  ///< livrées par la source depuis son dernier démarrage
    bool sourceMuette = false;
    std::int64_t sourcesRelancees = 0;
    bool operator==(const Statistiques&) const = default;
  };

  struct Dependances {
    Executeur* principal = nullptr;
    std::shared_ptr<File> fileEmetteur;  ///< "ravlo.emetteur"
    std::shared_ptr<FabriqueConnexions> connexions;
    const Horloge* horloge = &horlogeSysteme();
    bool relancerSource = true;
  };

  static constexpr std::int64_t capaciteTampon = 96'000;
  static constexpr std::chrono::milliseconds periodeSuivi{500};
  /// Sans trame nouvelle depuis ce délai, la source est tenue pour muette.
  static constexpr std::chrono::seconds delaiSansTrame{2};
  static constexpr std::int64_t relancesMax = 2;

  /// Ne démarre rien.
  [[nodiscard]] static std::shared_ptr<Diffusion> creer(Dependances dependances,
                                                        const FabriqueSource& source,
                                                        PointReseau point, Liaison liaison);
  ~Diffusion();
  Diffusion(const Diffusion&) = delete;
  Diffusion& operator=(const Diffusion&) = delete;

  /// La source d'abord : si elle ne démarre pas, rien ne part et rien ne reste.
  [[nodiscard]] std::expected<void, ErreurCapture> demarrer();
  /// Sûr à tout moment, autant de fois qu'on veut.
  void arreter();

  void quandFin(std::function<void(Fin)> rappel) { quandFin_ = std::move(rappel); }
  /// Après chaque relevé qui a changé quelque chose.
  void quandChange(std::function<void()> rappel) { quandChange_ = std::move(rappel); }

  /// Le dernier relevé du suivi.
  [[nodiscard]] const Statistiques& statistiques() const { return statistiques_; }
  /// Un relevé pris maintenant (les compteurs de l'émetteur restent lisibles après l'arrêt).
  [[nodiscard]] Statistiques releve() const;
  /// La panne de la source ; celle qui a fini la diffusion reste lisible après.
  [[nodiscard]] std::optional<ErreurCapture> panne() const {
    return panneFinale_ ? panneFinale_ : source_->panne();
  }
  [[nodiscard]] float niveau() const { return source_->niveau(); }
  /// Faux si le serveur de son refuse ; retenu pour les relances.
  bool changerSilence(bool ordinateurMuet) { return source_->changerSilence(ordinateurMuet); }
  [[nodiscard]] bool enCours() const { return enCours_; }

 private:
  Diffusion(Dependances dependances, const FabriqueSource& source, PointReseau point,
            Liaison liaison);
  [[nodiscard]] InstantNs maintenant() const { return dep_.horloge->continueNs(); }
  [[nodiscard]] Tache rappelFin(Fin fin);
  void finir(Fin fin);
  void planifierSuivi();
  void suivre();
  /// Relance la source qui ne livre plus, ou dit pourquoi la diffusion finit.
  std::optional<Fin> surveillerSource(InstantNs t, Statistiques& s);

  Dependances dep_;
  std::shared_ptr<TamponAudio> tampon_;
  std::unique_ptr<SourceDiffusion> source_;
  const PointReseau point_;
  const Liaison liaison_;
  std::shared_ptr<EmetteurAudio> emetteur_;
  std::function<void(Fin)> quandFin_;
  std::function<void()> quandChange_;
  Statistiques statistiques_;
  std::optional<ErreurCapture> panneFinale_;
  bool enCours_ = false;
  InstantNs debut_ = 0;
  // Dernier compte de trames vu et quand il a bougé : une source vivante le fait avancer.
  std::int64_t tramesVues_ = 0;
  InstantNs tramesVuesNs_ = 0;
  // Relances qui n'ont encore rien livré : deux de suite font une source muette.
  std::int64_t relancesSansEffet_ = 0;
};

}  // namespace ravlo
