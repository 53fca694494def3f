#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "plateforme/plateforme_audio.hpp"

namespace ravlo::faux {

/// Système de son joué par le test : chaque opération rend le statut et la valeur écrits
/// dans `script` et tient à jour ce qui existe ; celles qui touchent une capture vivante se
/// notent dans `journal`. `livrer` joue un rappel sur le fil appelant, comme le ferait le
/// fil du son, tant que le rappel est installé et démarré ; `arreter` attend qu'un rappel
/// en cours se termine (le fil du son ne livre qu'une fois la capture démarrée).
class PlateformeAudioFausse final : public PlateformeAudio {
 public:
  struct Script {
    ResultatAudio<IdentifiantAudio> sortie{0, 41};
    ResultatAudio<std::optional<std::string>> identifiantSortie{0, "speakers"};
    ResultatAudio<IdentifiantAudio> tap{0, 7};
    // 48 kHz, stéréo, flottant 32 bits entrelacé.
    ResultatAudio<FormatFlux> format{
        0,
        {48'000.0, FormatFlux::formatPCM, FormatFlux::drapeauFlottant | FormatFlux::drapeauCompact,
         8, 1, 8, 2, 32}};
    ResultatAudio<IdentifiantAudio> agregat{0, 9};
    ResultatAudio<std::optional<IdentifiantRappel>> rappel{0, 3};
    StatutAudio demarrer = 0;
    StatutAudio lireDescription = 0;
    bool descriptionAbsente = false;
    StatutAudio ecrireDescription = 0;
  };

  Script script;
  std::vector<std::string> journal;
  std::optional<DescriptionTap> description;  // celle de la capture vivante
  bool agregatVivant = false;
  bool rappelInstalle = false;
  bool demarre = false;
  /// Ce que rend `lireEchec` : le test y met la panne d'une capture qui tourne.
  std::atomic<StatutAudio> echec{0};

  /// Vrai si le rappel a tourné.
  bool livrer(std::span<const TamponBloc> tampons, HorodatageBloc horodatage = {}) {
    std::lock_guard garde(verrou_);
    if (!rappelInstalle || !demarre) return false;
    rappel_(tampons, horodatage);
    return true;
  }

  ResultatAudio<IdentifiantAudio> lireSortieParDefaut() override { return script.sortie; }
  ResultatAudio<std::optional<std::string>> lireIdentifiantSortie(IdentifiantAudio) override {
    return script.identifiantSortie;
  }
  ResultatAudio<IdentifiantAudio> creerTap(const DescriptionTap& d) override {
    if (script.tap.valeur != 0) description = d;
    return script.tap;
  }
  ResultatAudio<FormatFlux> lireFormatTap(IdentifiantAudio) override { return script.format; }
  ResultatAudio<IdentifiantAudio> creerAgregat(IdentifiantAudio, const std::string&) override {
    agregatVivant = script.agregat.valeur != 0;
    return script.agregat;
  }
  ResultatAudio<std::optional<IdentifiantRappel>> creerRappel(IdentifiantAudio,
                                                              RappelES rappel) override {
    if (script.rappel.valeur) rappel_ = std::move(rappel);
    rappelInstalle = script.rappel.valeur.has_value();
    return script.rappel;
  }
  StatutAudio demarrer(IdentifiantAudio, IdentifiantRappel) override {
    demarre = script.demarrer == 0;
    return script.demarrer;
  }
  StatutAudio arreter(IdentifiantAudio agregat, IdentifiantRappel rappel) override {
    noter("arreter", agregat, rappel);
    std::lock_guard garde(verrou_);
    demarre = false;
    return 0;
  }
  StatutAudio detruireRappel(IdentifiantAudio agregat, IdentifiantRappel rappel) override {
    noter("detruireRappel", agregat, rappel);
    std::lock_guard garde(verrou_);
    rappel_ = nullptr;
    rappelInstalle = false;
    return 0;
  }
  StatutAudio detruireAgregat(IdentifiantAudio agregat) override {
    noter("detruireAgregat", agregat);
    agregatVivant = false;
    return 0;
  }
  StatutAudio detruireTap(IdentifiantAudio tap) override {
    noter("detruireTap", tap);
    description.reset();
    return 0;
  }
  ResultatAudio<std::optional<DescriptionTap>> lireDescriptionTap(IdentifiantAudio tap) override {
    noter("lireDescriptionTap", tap);
    return {script.lireDescription, script.descriptionAbsente ? std::nullopt : description};
  }
  StatutAudio ecrireDescriptionTap(IdentifiantAudio tap, const DescriptionTap& d) override {
    noter("ecrireDescriptionTap", tap);
    if (script.ecrireDescription == 0) description = d;
    return script.ecrireDescription;
  }
  StatutAudio lireEchec(IdentifiantAudio) override { return echec.load(); }

 private:
  template <class... N>
  void noter(std::string op, N... n) {
    ((op += " " + std::to_string(n)), ...);
    journal.push_back(std::move(op));
  }

  std::mutex verrou_;
  RappelES rappel_;
};

}  // namespace ravlo::faux
