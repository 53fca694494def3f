#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "link/capture/capture_systeme.hpp"
#include "link/diffusion/emetteur_audio.hpp"
#include "plateforme/magasin_reglages.hpp"
#include "plateforme/modele_observable.hpp"

namespace ravlo {

/// Une diffusion du son de l'ordinateur vers le récepteur appairé, et son état pour le panneau.
///
/// `demarrer` crée l'anneau (96 000 octets, une demi-seconde), démarre la capture dessus puis
/// un émetteur qui le vide vers le récepteur. Toutes les 0,5 s (horloge continue), le suivi
/// recopie les compteurs de l'émetteur quand ils diffèrent, met `duree` à jour et surveille la
/// capture : une capture qui ne livre aucune trame nouvelle pendant 2 s, ou qui se dit en
/// panne (`CaptureSysteme::echec`, dès le suivi suivant), est relancée, et après deux
/// relances sans effet `captureMuette` passe à vrai (la diffusion continue). `arreter`
/// défait tout ; les compteurs gardent leur dernière valeur jusqu'au démarrage suivant.
///
/// Les vues lisent tous les champs (chacun prévient ses observateurs quand il change) et le
/// niveau de la capture (`niveauDuBloc`, pour l'anneau de niveau) ; elles appellent
/// `demarrer`, `arreter` et `changerNEntendreQueLIPhone`. Le modèle de l'application pose
/// `quandLIPhoneArrete`. Tout se passe sur le fil principal ; les rappels de l'émetteur y
/// repassent avec le numéro de leur diffusion, et ceux d'une diffusion finie sont ignorés.
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
  enum class Fin : std::uint8_t { parLIPhone, injoignable };

  struct Dependances {
    Executeur* principal = nullptr;
    FabriqueCapture capture;
    std::shared_ptr<File> fileEmetteur;  ///< "ravlo.emetteur"
    std::shared_ptr<FabriqueConnexions> connexions;
    const Horloge* horloge = &horlogeSysteme();
    std::shared_ptr<MagasinReglages> reglages;
    std::function<std::string()> locale;  ///< vide : la locale courante
  };

  static constexpr std::int64_t capaciteTampon = 96'000;
  static constexpr std::chrono::milliseconds periodeSuivi{500};
  /// Sans trame nouvelle depuis ce délai, la capture est tenue pour muette.
  static constexpr std::chrono::seconds delaiSansTrame{2};
  static constexpr std::int64_t relancesMax = 2;
  static constexpr std::string_view cleSilence = "RavloMacSilencieux";

  /// Lit "RavloMacSilencieux" ; ne démarre rien.
  [[nodiscard]] static std::shared_ptr<DiffusionModel> creer(Dependances dependances);
  ~DiffusionModel();
  DiffusionModel(const DiffusionModel&) = delete;
  DiffusionModel& operator=(const DiffusionModel&) = delete;

  /// Démarre une diffusion vers `point` avec `liaison` (celles du récepteur appairé). Si la
  /// capture ne démarre pas, `etat` devient `echec` avec son texte et rien d'autre ne change.
  /// Appelé pendant une diffusion, arrête d'abord celle-ci.
  void demarrer(const PointReseau& point, const Liaison& liaison);
  /// Sûr quand rien ne tourne ; garde `echec` et son texte.
  void arreter();
  /// Retenu dans les réglages et appliqué aussitôt à la capture en cours
  /// (`reglageSilenceRefuse` si le système refuse). `toujoursPrevenir` : prévient les
  /// observateurs même sans changement.
  void changerNEntendreQueLIPhone(bool valeur, bool toujoursPrevenir = false);
  /// Appelé sur le fil principal quand le récepteur a mis fin à la diffusion.
  void quandLIPhoneArrete(std::function<void(Fin)> rappel) {
    quandLIPhoneArrete_ = std::move(rappel);
  }

  [[nodiscard]] const Etat& etat() const { return etat_; }
  [[nodiscard]] bool enDiffusion() const { return etat_.cas == Etat::Cas::diffusion; }
  [[nodiscard]] std::int64_t paquetsEnvoyes() const { return paquetsEnvoyes_; }
  [[nodiscard]] std::int64_t octetsJetes() const { return octetsJetes_; }
  [[nodiscard]] std::int64_t paquetsSansHeureDeCapture() const { return paquetsSansHeure_; }
  [[nodiscard]] bool connexionPrete() const { return connexionPrete_; }
  [[nodiscard]] const std::optional<std::string>& erreurReseau() const { return erreurReseau_; }
  [[nodiscard]] bool iPhoneMuet() const { return iPhoneMuet_; }
  [[nodiscard]] std::int64_t connexionsRefaites() const { return connexionsRefaites_; }
  [[nodiscard]] double pireAttenteMs() const { return pireAttenteMs_; }
  [[nodiscard]] double duree() const { return duree_; }
  [[nodiscard]] bool captureMuette() const { return captureMuette_; }
  [[nodiscard]] std::int64_t capturesRelancees() const { return capturesRelancees_; }
  [[nodiscard]] bool nEntendreQueLIPhone() const { return nEntendreQueLIPhone_; }
  [[nodiscard]] bool reglageSilenceRefuse() const { return reglageSilenceRefuse_; }
  [[nodiscard]] std::int64_t numeroEnvoi() const { return numeroEnvoi_; }
  /// La capture en cours (la dernière démarrée), nulle hors diffusion.
  [[nodiscard]] const CaptureSysteme* tap() const { return tap_.get(); }
  /// Niveau du dernier bloc capté (lu sous le verrou de la capture) ; 0 sans capture.
  [[nodiscard]] float niveauDuBloc() const { return tap_ ? tap_->niveauDuBloc() : 0.0F; }

 private:
  explicit DiffusionModel(Dependances dependances);
  [[nodiscard]] std::string locale() const;
  [[nodiscard]] InstantNs maintenant() const { return dep_.horloge->continueNs(); }
  [[nodiscard]] Tache rappelFin(std::int64_t numero, Fin fin);
  void surFinEmetteur(std::int64_t numero, Fin fin);
  void planifierSuivi(const std::shared_ptr<bool>& annule);
  void suivre();
  void verifierCapture();
  void noterCaptureNeuve(InstantNs debut);

  Dependances dep_;
  Etat etat_;
  std::int64_t paquetsEnvoyes_ = 0;
  std::int64_t octetsJetes_ = 0;
  std::int64_t paquetsSansHeure_ = 0;
  bool connexionPrete_ = false;
  std::optional<std::string> erreurReseau_;
  bool iPhoneMuet_ = false;
  std::int64_t connexionsRefaites_ = 0;
  double pireAttenteMs_ = 0;
  double duree_ = 0;
  bool captureMuette_ = false;
  std::int64_t capturesRelancees_ = 0;
  bool nEntendreQueLIPhone_ = false;
  bool reglageSilenceRefuse_ = false;
  std::int64_t numeroEnvoi_ = 0;
  std::function<void(Fin)> quandLIPhoneArrete_;

  std::unique_ptr<CaptureSysteme> tap_;
  std::shared_ptr<TamponAudio> tampon_;
  std::optional<InstantNs> debutCapture_;
  std::shared_ptr<EmetteurAudio> emetteur_;
  std::shared_ptr<bool> suivi_;  ///< vrai : suivi annulé
  std::optional<InstantNs> debut_;
  // Dernier compte de trames vu et quand il a bougé : une capture vivante le fait avancer.
  std::int64_t tramesVues_ = 0;
  InstantNs tramesVuesNs_ = 0;
  // Relances qui n'ont encore rien livré : deux de suite font une capture muette.
  std::int64_t relancesSansEffet_ = 0;
};

}  // namespace ravlo
