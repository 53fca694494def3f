// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "link/app/ecoute_telephone.hpp"
#include "link/capture/capture_systeme.hpp"
#include "link/decouverte/chercheur_ravlo.hpp"
#include "link/diffusion/diffusion_model.hpp"
#include "plateforme/magasin_reglages.hpp"
#include "plateforme/modele_observable.hpp"
#include "protocol/audio/format_flux.hpp"

namespace ravlo {

/// Ce que montre l'icône de la zone de notification.
enum class EtatIcone : std::uint8_t { repos, envoi, probleme };

/// Ce qui ne va pas dans une pièce pendant l'envoi : une erreur réseau qui dure, ou un
/// récepteur joint mais muet (rien d'authentique depuis 3 s).
enum class EnnuiPiece : std::uint8_t { aucun, reseau, recepteurMuet };
[[nodiscard]] EnnuiPiece ennuiPiece(const VoieEmission::Statistiques& voie);

/// Le modèle de l'application, unique pour la vie du processus : le chercheur puis le modèle
/// de diffusion, créés dans cet ordre et jamais remplacés. Quand le récepteur met fin à une
/// diffusion, le chercheur oublie le récepteur appairé et `resultat` dit pourquoi
/// (`finParRecepteur`, avec le nom de l'émetteur qui a pris le récepteur s'il l'a dit, ou
/// `recepteurInjoignable`), ce qui ramène le panneau à l'appairage.
/// Un échec du démarrage vaut pour le récepteur appairé : il s'oublie quand celui-ci change.
///
/// Pendant l'envoi, `ajouterPiece` appaire un autre récepteur par le chercheur et l'ajoute à
/// la diffusion ; le chercheur garde pour récepteur appairé et pour issue ceux de l'envoi :
/// l'issue de l'ajout ne se lit que dans `echecAjout`, oublié quand l'envoi cesse.
///
/// Éteindre l'écoute sur un téléphone retire de l'envoi les pièces des pages, comme
/// « Retirer », et défait l'appairage d'une page.
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
    /// Donné aux trois modèles (les leurs s'ils n'en ont pas).
    std::shared_ptr<MagasinReglages> reglages;
    /// Sans `ouvrir`, l'écoute sur un téléphone n'est pas offerte.
    EcouteTelephone::Dependances telephone = {};
  };

  /// L'appairage d'une pièce qui n'a pas abouti : le récepteur visé et l'issue du chercheur.
  struct EchecAjout {
    std::string nom;
    ChercheurRavlo::Resultat resultat;
    bool operator==(const EchecAjout&) const = default;
  };

  static constexpr std::string_view cleAccueilVu = "RavloAccueilVu";
  static constexpr std::chrono::seconds dureeSonde{1};
  /// Une seconde du flux.
  static constexpr auto capaciteSonde =
      static_cast<std::int64_t>(flux::octetsParTrame) * flux::tramesParSeconde;

  /// Celles du système : files "ravlo.chercheur" et "ravlo.emetteur" (priorité relevée),
  /// connexions UDP ou vers les pages du serveur web (`ouvrirServeurTelephone`) ; le navigateur, le
  /// système de son et les réglages sont donnés par l'application (Avahi, PulseAudio, QSettings).
  [[nodiscard]] static Dependances dependancesSysteme(
      Executeur& principal, std::shared_ptr<FabriqueNavigateurs> navigateurs,
      FabriqueCapture capture, std::shared_ptr<MagasinReglages> reglages);

  [[nodiscard]] static std::shared_ptr<ModeleLink> creer(Dependances dependances);
  ~ModeleLink();
  ModeleLink(const ModeleLink&) = delete;
  ModeleLink& operator=(const ModeleLink&) = delete;

  [[nodiscard]] ChercheurRavlo& chercheur() const { return *chercheur_; }
  [[nodiscard]] DiffusionModel& diffusion() const { return *diffusion_; }
  /// Ses changements passent aussi par les observateurs de ce modèle.
  [[nodiscard]] EcouteTelephone& telephone() const { return *telephone_; }

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

  /// Pendant l'envoi et sans autre appairage en cours : appaire `appareil` avec `code`, puis
  /// l'ajoute comme pièce et appelle `quandAjoutee` ; un échec va dans `echecAjout`. Si l'envoi
  /// a cessé entre-temps, l'issue reste celle d'un appairage ordinaire.
  void ajouterPiece(const ChercheurRavlo::Appareil& appareil, const std::string& code,
                    std::function<void()> quandAjoutee = {});
  [[nodiscard]] const std::optional<EchecAjout>& echecAjout() const { return echecAjout_; }
  void oublierEchecAjout() { changer(echecAjout_, std::optional<EchecAjout>()); }

  /// Un nouveau code se tape : l'issue de l'appairage d'avant (refus, échec, fin par le
  /// récepteur) et l'échec d'un ajout ne se montrent plus. Pendant l'envoi, l'issue du
  /// chercheur, celle de l'envoi, reste.
  void oublierIssueAppairage();

  /// L'échec du démarrage, ou pendant l'envoi une capture muette, ou une pièce en ennui
  /// (`ennuiPiece`) ; une pièce partie d'elle-même n'en est plus une.
  [[nodiscard]] bool envoiPerturbe() const;

 private:
  struct AjoutEnCours {
    ChercheurRavlo::Appareil appareil;
    ChercheurRavlo::Resultat resultatAvant;
    std::optional<ChercheurRavlo::RecepteurAppaire> appaireAvant;
    std::function<void()> quandAjoutee;
  };

  explicit ModeleLink(Dependances dependances);
  void brancherFinDeDiffusion();
  void suivreAppaire();
  void conclureAjout();
  /// L'écoute sur un téléphone éteinte : les pièces des pages quittent l'envoi, une page
  /// appairée ne l'est plus.
  void quitterPages();
  /// Hors envoi, une page appairée qui est partie ne reviendra pas sous ce point (rechargée,
  /// elle en a un autre) : le panneau revient à la liste.
  void oublierPagePartie();

  Dependances dep_;
  std::shared_ptr<ChercheurRavlo> chercheur_;
  std::shared_ptr<DiffusionModel> diffusion_;
  std::shared_ptr<EcouteTelephone> telephone_;
  std::optional<bool> sondeDuSon_;
  std::unique_ptr<CaptureSysteme> sonde_;
  std::optional<ChercheurRavlo::RecepteurAppaire> appaireVu_;
  std::optional<AjoutEnCours> ajout_;
  std::optional<EchecAjout> echecAjout_;
  Abonnement suiviChercheur_, suiviDiffusion_, suiviTelephone_;
};

/// `probleme` quand l'envoi est perturbé, sinon `envoi` pendant une diffusion, sinon `repos`.
[[nodiscard]] EtatIcone etatIcone(const ModeleLink& modele);

}  // namespace ravlo
