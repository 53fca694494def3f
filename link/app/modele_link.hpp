#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "link/capture/capture_systeme.hpp"
#include "link/decouverte/chercheur_ravlo.hpp"
#include "link/diffusion/diffusion_model.hpp"
#include "plateforme/magasin_reglages.hpp"
#include "plateforme/modele_observable.hpp"

namespace ravlo {

/// Ce que montre l'icône de la zone de notification.
enum class EtatIcone : std::uint8_t { repos, envoi, probleme };

/// Le modèle de l'application, unique pour la vie du processus : le chercheur puis le modèle
/// de diffusion, créés dans cet ordre et jamais remplacés. Quand le récepteur met fin à une
/// diffusion, le chercheur oublie le récepteur appairé et `resultat` dit pourquoi
/// (`finParRecepteur` ou `recepteurInjoignable`), ce qui ramène le panneau à l'appairage.
/// Un échec du démarrage vaut pour le récepteur appairé : il s'oublie quand celui-ci change.
///
/// À la construction, la recherche démarre si l'accueil a déjà été vu ("RavloAccueilVu") ;
/// sinon la fenêtre d'accueil la lance. Les vues lisent `chercheur()`, `diffusion()`,
/// `sondeDuSon()` et `envoiPerturbe()` (l'icône : `etatIcone`) et s'abonnent aux trois
/// modèles ; elles appellent `changerDeRecepteur()` et, depuis l'accueil, `sonder()` et
/// `reessayer()`. Fil principal seulement.
class ModeleLink final : public ModeleObservable, public std::enable_shared_from_this<ModeleLink> {
 public:
  struct Dependances {
    ChercheurRavlo::Dependances chercheur;
    DiffusionModel::Dependances diffusion;
    /// Donné aux deux modèles (les siens s'ils n'en ont pas).
    std::shared_ptr<MagasinReglages> reglages;
  };

  static constexpr std::string_view cleAccueilVu = "RavloAccueilVu";
  static constexpr std::int64_t capaciteSonde = 192'000;
  static constexpr std::chrono::seconds dureeSonde{1};

  /// Celles du système : files "ravlo.chercheur" et "ravlo.emetteur" (priorité relevée),
  /// connexions UDP ; le navigateur, le système de son et les réglages sont donnés par
  /// l'application (Avahi, PulseAudio, QSettings).
  [[nodiscard]] static Dependances dependancesSysteme(
      Executeur& principal, std::shared_ptr<FabriqueNavigateurs> navigateurs,
      FabriqueCapture capture, std::shared_ptr<MagasinReglages> reglages);

  [[nodiscard]] static std::shared_ptr<ModeleLink> creer(Dependances dependances);
  ~ModeleLink();
  ModeleLink(const ModeleLink&) = delete;
  ModeleLink& operator=(const ModeleLink&) = delete;

  [[nodiscard]] ChercheurRavlo& chercheur() const { return *chercheur_; }
  [[nodiscard]] DiffusionModel& diffusion() const { return *diffusion_; }

  /// Vide : pas encore sondée ; vrai : une capture a pu démarrer ; faux : elle a échoué.
  [[nodiscard]] std::optional<bool> sondeDuSon() const { return sondeDuSon_; }

  /// Démarre une capture une seconde (le son capté est jeté), pour savoir dès l'accueil, et
  /// non au premier envoi, si le serveur de son laisse capter ; le verdict d'avant s'efface.
  /// Sans effet pendant qu'une sonde tourne.
  void sonder();

  /// Arrête l'envoi s'il tourne, oublie le récepteur appairé et efface `resultat`.
  void changerDeRecepteur();

  /// « Réessayer » de l'accueil : la recherche repart de zéro (`demarrage`) et, si la sonde
  /// du son a échoué, elle est refaite.
  void reessayer();

  /// L'échec du démarrage, ou pendant l'envoi une capture muette, une erreur réseau, un
  /// récepteur prêt mais muet.
  [[nodiscard]] bool envoiPerturbe() const;

 private:
  explicit ModeleLink(Dependances dependances);
  void brancherFinDeDiffusion();
  void suivreAppaire();

  Dependances dep_;
  std::shared_ptr<ChercheurRavlo> chercheur_;
  std::shared_ptr<DiffusionModel> diffusion_;
  std::optional<bool> sondeDuSon_;
  std::unique_ptr<CaptureSysteme> sonde_;
  std::optional<ChercheurRavlo::RecepteurAppaire> appaireVu_;
  Abonnement suiviChercheur_;
};

/// `probleme` quand l'envoi est perturbé, sinon `envoi` pendant une diffusion, sinon `repos`.
[[nodiscard]] EtatIcone etatIcone(const ModeleLink& modele);

}  // namespace ravlo
