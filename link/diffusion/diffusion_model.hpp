// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/diffusion/diffusion.hpp"
#include "plateforme/magasin_reglages.hpp"
#include "plateforme/modele_observable.hpp"

namespace ravlo {

/// La diffusion du son de l'ordinateur vers le récepteur appairé, vue par l'application : une
/// `Diffusion` (capture relancée tant qu'elle se tait, `captureMuette` après un refus ou deux
/// relances sans effet, jusqu'à ce qu'elle capte de nouveau), le choix de taire l'ordinateur
/// retenu dans les réglages, et un état pour le panneau.
///
/// Le modèle tient une valeur d'état et une valeur de statistiques, recopiées du relevé de la
/// diffusion (toutes les 0,5 s), et prévient ses observateurs une fois par changement : un
/// démarrage, un arrêt, un relevé. Les statistiques gardent leur dernière valeur jusqu'au
/// démarrage suivant.
///
/// Pendant l'envoi, d'autres pièces peuvent rejoindre la diffusion (`ajouterPiece`) ou la
/// quitter (`retirerPiece`) ; les statistiques sont alors relevées aussitôt, pour que la liste
/// des pièces suive sans attendre le relevé suivant. Une pièce qui finit d'elle-même quand
/// d'autres jouent est retenue dans `pieceFinie` jusqu'au prochain changement de pièces.
///
/// Les vues lisent l'état, les statistiques et le niveau de la capture (`niveauDuBloc`, pour
/// l'anneau de niveau) ; elles appellent `demarrer`, `arreter` et
/// `changerNEntendreQueLeRecepteur`. Le modèle de l'application pose `quandRecepteurArrete`. Tout
/// se passe sur le fil principal.
class DiffusionModel final : public ModeleObservable,
                             public std::enable_shared_from_this<DiffusionModel> {
 public:
  struct Etat {
    enum class Cas : std::uint8_t {
      echec,  ///< texte : pourquoi le démarrage a échoué ; rien ne tourne
      pret,
      diffusion
    };
    Cas cas = Cas::pret;
    std::string texte;
    bool operator==(const Etat&) const = default;
  };

  /// Pourquoi une diffusion a pris fin du côté du récepteur.
  enum class Fin : std::uint8_t { parRecepteur, injoignable };

  /// Une pièce partie d'elle-même pendant que d'autres jouent.
  struct PieceFinie {
    std::string nom;
    Fin fin = Fin::parRecepteur;
    std::string prisPar;  ///< l'émetteur qui a pris son récepteur, s'il l'a dit ; sinon vide
    bool operator==(const PieceFinie&) const = default;
  };

  struct Dependances {
    Executeur* principal = nullptr;
    FabriqueCapture capture;
    std::shared_ptr<File> fileEmetteur;  ///< "ravlo.emetteur"
    std::shared_ptr<FabriqueConnexions> connexions;
    const Horloge* horloge = &horlogeSysteme();
    std::shared_ptr<MagasinReglages> reglages;
    std::function<std::string()> locale;  ///< vide : la locale courante
  };

  static constexpr std::string_view cleSilence = "RavloOrdinateurMuet";
  /// La clé qu'avaient les versions précédentes, reprise une seule fois sous `cleSilence`.
  static constexpr std::string_view cleSilenceAncienne = "RavloMacSilencieux";

  /// Lit `cleSilence` (en reprenant `cleSilenceAncienne` quand elle manque) ; ne démarre rien.
  [[nodiscard]] static std::shared_ptr<DiffusionModel> creer(Dependances dependances);
  ~DiffusionModel();
  DiffusionModel(const DiffusionModel&) = delete;
  DiffusionModel& operator=(const DiffusionModel&) = delete;

  /// Démarre une diffusion vers `point` avec `liaison` (celles du récepteur appairé, nommé
  /// `nom`), sa pièce 0. Si la capture ne démarre pas, `etat` devient `echec` avec son texte et
  /// rien d'autre ne change. Appelé pendant une diffusion, arrête d'abord celle-ci.
  void demarrer(const PointReseau& point, const Liaison& liaison, std::string nom = {});
  /// Sûr quand rien ne tourne ; garde `echec` et son texte.
  void arreter();
  /// Une pièce de plus dans l'envoi en cours, qui joue dès le bloc suivant ; sans envoi, rien.
  std::optional<Diffusion::NumeroPiece> ajouterPiece(const PointReseau& point,
                                                     const Liaison& liaison, std::string nom);
  /// Cette pièce quitte l'envoi, les autres continuent. Retirer la dernière arrête l'envoi
  /// comme `arreter` : ce n'est pas une fin du récepteur. Un numéro hors service : rien.
  void retirerPiece(Diffusion::NumeroPiece numero);
  /// `echec` redevient `pret` : l'échec visait un récepteur qui n'est plus celui de l'envoi.
  void oublierEchec();
  /// Retenu dans les réglages et appliqué aussitôt à la capture en cours
  /// (`reglageSilenceRefuse` si le système refuse). `toujoursPrevenir` : prévient les
  /// observateurs même sans changement.
  void changerNEntendreQueLeRecepteur(bool valeur, bool toujoursPrevenir = false);
  /// Appelé sur le fil principal quand le récepteur a mis fin à la diffusion ; `prisPar` :
  /// le nom de l'émetteur qui l'a pris, s'il l'a dit, sinon vide.
  void quandRecepteurArrete(std::function<void(Fin, const std::string& prisPar)> rappel) {
    quandRecepteurArrete_ = std::move(rappel);
  }

  [[nodiscard]] const Etat& etat() const { return etat_; }
  [[nodiscard]] bool enDiffusion() const { return etat_.cas == Etat::Cas::diffusion; }
  [[nodiscard]] const Diffusion::Statistiques& statistiques() const { return statistiques_; }
  /// Les pièces en service, par numéro (la pièce 0 dès le démarrage).
  [[nodiscard]] const std::vector<Diffusion::StatistiquesPiece>& pieces() const {
    return statistiques_.pieces;
  }
  [[nodiscard]] const std::optional<PieceFinie>& pieceFinie() const { return pieceFinie_; }
  /// Ceux de la première pièce en service (chacune a les siens dans `pieces`) ; faux sans
  /// pièce.
  [[nodiscard]] bool connexionPrete() const;
  [[nodiscard]] bool recepteurMuet() const;
  [[nodiscard]] double duree() const { return statistiques_.duree; }
  [[nodiscard]] bool captureMuette() const { return statistiques_.sourceMuette; }
  [[nodiscard]] std::int64_t capturesRelancees() const { return statistiques_.sourcesRelancees; }
  [[nodiscard]] bool nEntendreQueLeRecepteur() const { return nEntendreQueLeRecepteur_; }
  [[nodiscard]] bool reglageSilenceRefuse() const { return reglageSilenceRefuse_; }
  /// Niveau du dernier bloc capté (lu sous le verrou de la capture) ; 0 sans diffusion.
  [[nodiscard]] float niveauDuBloc() const { return diffusion_ ? diffusion_->niveau() : 0.0F; }

 private:
  explicit DiffusionModel(Dependances dependances);
  [[nodiscard]] std::string locale() const;
  void surFin(Diffusion::Fin fin);
  void surPieceFinie(Diffusion::NumeroPiece numero, Diffusion::Fin fin);
  /// Relève les pièces tout de suite plutôt qu'au prochain suivi, et prévient.
  void releverPieces();

  Dependances dep_;
  Etat etat_;
  Diffusion::Statistiques statistiques_;
  bool nEntendreQueLeRecepteur_ = false;
  bool reglageSilenceRefuse_ = false;
  std::function<void(Fin, const std::string&)> quandRecepteurArrete_;
  std::optional<PieceFinie> pieceFinie_;
  std::shared_ptr<Diffusion> diffusion_;
};

}  // namespace ravlo
