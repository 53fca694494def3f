#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "plateforme/plateforme_audio.hpp"
#include "plateforme/pulseaudio/contexte_pulse.hpp"
#include "plateforme/pulseaudio/flux_capture_pulse.hpp"
#include "plateforme/pulseaudio/silence_pulse.hpp"

namespace ravlo {

/// `PlateformeAudio` sur PulseAudio (et PipeWire par pipewire-pulse). La sortie par défaut
/// est la sortie (« sink ») par défaut, son identifiant durable est son nom. Une capture
/// est un flux d'enregistrement (`FluxCapturePulse`) sur le moniteur de cette sortie ;
/// silencieuse, elle installe aussi un `SilencePulse` et c'est le moniteur de la sortie nulle
/// qu'elle écoute, par un second flux. Le routage relie les flux (en pause) ; démarrer les
/// en sort. Les statuts sont les codes d'erreur de PulseAudio.
///
/// Le flux sur la sortie ordinaire reste relié, muet, pendant le silence : il la garde à
/// faible latence, et lever le silence ne fait que lui rendre le rappel. Relier un flux neuf
/// à une sortie restée une seconde sans lui coûtait une seconde sans données.
///
/// La capture suit la sortie par défaut : quand elle change (casque branché, sortie
/// retirée), un fil de suivi relie un flux neuf au moniteur de la nouvelle et lui passe le
/// rappel ; silencieuse, c'est le silence qui la suit (`SilencePulse::suivre`). Un flux que
/// le serveur a tué sans qu'on puisse le remplacer est rapporté par `lireEchec`.
///
/// Chaque démarrage (`lireSortieParDefaut`) commence par défaire les silences laissés par
/// un programme mort. Détruire la plateforme défait ce que ses captures ont laissé.
class PlateformePulse final : public PlateformeAudio {
 public:
  /// `repertoireEtat` : où tenir les fichiers d'état du silence (vide : nulle part).
  explicit PlateformePulse(std::string repertoireEtat = repertoireEtatParDefaut());
  ~PlateformePulse() override;

  ResultatAudio<IdentifiantAudio> lireSortieParDefaut() override;
  ResultatAudio<std::optional<std::string>> lireIdentifiantSortie(IdentifiantAudio sortie) override;
  ResultatAudio<IdentifiantAudio> creerTap(const DescriptionTap& description) override;
  ResultatAudio<FormatFlux> lireFormatTap(IdentifiantAudio tap) override;
  ResultatAudio<IdentifiantAudio> creerAgregat(IdentifiantAudio tap,
                                               const std::string& identifiantSortie) override;
  ResultatAudio<std::optional<IdentifiantRappel>> creerRappel(IdentifiantAudio agregat,
                                                              RappelES rappel) override;
  StatutAudio demarrer(IdentifiantAudio agregat, IdentifiantRappel rappel) override;
  StatutAudio arreter(IdentifiantAudio agregat, IdentifiantRappel rappel) override;
  StatutAudio detruireRappel(IdentifiantAudio agregat, IdentifiantRappel rappel) override;
  StatutAudio detruireAgregat(IdentifiantAudio agregat) override;
  StatutAudio detruireTap(IdentifiantAudio tap) override;
  ResultatAudio<std::optional<DescriptionTap>> lireDescriptionTap(IdentifiantAudio tap) override;
  StatutAudio ecrireDescriptionTap(IdentifiantAudio tap,
                                   const DescriptionTap& description) override;
  StatutAudio lireEchec(IdentifiantAudio agregat) override;

 private:
  struct Tap {
    DescriptionTap description;
    std::unique_ptr<SilencePulse> silence;
    /// Sur le moniteur de la sortie donnée au routage.
    std::unique_ptr<FluxCapturePulse> flux;
    /// Sur le moniteur de la sortie nulle, pendant le silence.
    std::unique_ptr<FluxCapturePulse> fluxSilence;
    IdentifiantAudio agregat = 0;
    std::optional<IdentifiantRappel> idRappel;
    std::unique_ptr<RappelES> rappel;
    bool rappelActif = false;
    bool demarre = false;
  };

  Tap* tap(IdentifiantAudio id);
  Tap* tapDuRoutage(IdentifiantAudio agregat);
  /// Le tap de ce routage, s'il porte bien ce rappel.
  Tap* tapDuRappel(IdentifiantAudio agregat, IdentifiantRappel rappel);
  /// Le flux qui porte le rappel : celui du silence s'il y en a un.
  static FluxCapturePulse* actif(Tap& t);
  /// Relie un flux neuf au moniteur de la sortie nulle, et lui passe le rappel si la capture
  /// tourne.
  StatutAudio brancherSilence(Tap& t);
  void demolir(Tap& t);
  /// Remplace `flux` par un flux neuf sur `source`, démarré si la capture tourne et portant
  /// le rappel s'il le portait.
  StatutAudio rebrancher(Tap& t, std::unique_ptr<FluxCapturePulse>& flux,
                         const std::string& source);
  /// Abonne le lien courant aux changements du serveur (sortie par défaut).
  void abonner();
  static void rappelAbonnement(pa_context* c, pa_subscription_event_type_t evenement,
                               std::uint32_t index, void* moi);
  /// Fil de suivi : attend un changement, puis `suivre()` boucle verrouillée.
  void suivi();
  void suivre();

  /// Chaque opération et chaque passage du suivi tiennent la table du début à la fin : les
  /// attentes du serveur relâchent la boucle, et un tap ne doit pas disparaître sous l'une
  /// d'elles. Toujours pris avant la boucle.
  struct Garde {
    Garde(std::mutex& table, const ContextePulse& contexte) : table_(table), boucle_(contexte) {}
    std::lock_guard<std::mutex> table_;
    VerrouBoucle boucle_;
  };

  const std::string repertoireEtat_;
  std::mutex verrouTable_;
  ContextePulse contexte_;
  std::map<IdentifiantAudio, Tap> taps_;
  IdentifiantAudio prochainId_ = 1;
  pa_context* abonne_ = nullptr;

  std::mutex verrouSuivi_;
  std::condition_variable reveil_;
  bool aSuivre_ = false;
  bool fin_ = false;
  std::thread filSuivi_;  // en dernier : démarré quand tout le reste existe
};

}  // namespace ravlo
