#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/plateforme/plateforme_audio.hpp"

namespace ravlo::faux {

/// Système de son joué par le test : chaque opération rend le statut et la valeur écrits
/// dans `script`, note son appel dans `journal`, et tient à jour ce qui existe. `livrer`
/// joue un rappel sur le fil appelant, comme le ferait le fil du son, tant que le rappel
/// est installé et démarré ; `arreter` attend qu'un rappel en cours se termine.
class PlateformeAudioFausse final : public PlateformeAudio {
 public:
  struct Script {
    ResultatAudio<IdentifiantAudio> sortie{0, 41};
    ResultatAudio<std::optional<std::string>> identifiantSortie{0, "speakers"};
    ResultatAudio<IdentifiantAudio> tap{0, 7};
    ResultatAudio<FormatFlux> format{0, stereoFlottant48k()};
    ResultatAudio<IdentifiantAudio> agregat{0, 9};
    ResultatAudio<std::optional<IdentifiantRappel>> rappel{0, 3};
    StatutAudio demarrer = 0;
    StatutAudio lireDescription = 0;
    bool descriptionAbsente = false;
    StatutAudio ecrireDescription = 0;
  };

  static FormatFlux stereoFlottant48k() {
    return FormatFlux{.frequence = 48'000.0,
                      .identifiantFormat = FormatFlux::formatPCM,
                      .drapeaux = FormatFlux::drapeauFlottant | FormatFlux::drapeauCompact,
                      .octetsParPaquet = 8,
                      .tramesParPaquet = 1,
                      .octetsParTrame = 8,
                      .canauxParTrame = 2,
                      .bitsParCanal = 32};
  }

  Script script;
  std::vector<std::string> journal;
  std::optional<DescriptionTap> description;  // celle de la capture vivante
  bool agregatVivant = false;
  bool rappelInstalle = false;
  bool demarre = false;

  /// Vrai si le rappel a tourné.
  bool livrer(std::span<const TamponBloc> tampons, HorodatageBloc horodatage = {}) {
    std::lock_guard garde(rappelVerrou_);
    if (!rappelInstalle || !demarre) return false;
    rappel_(tampons, horodatage);
    return true;
  }

  ResultatAudio<IdentifiantAudio> lireSortieParDefaut() override {
    journal.push_back("lireSortieParDefaut");
    return script.sortie;
  }
  ResultatAudio<std::optional<std::string>> lireIdentifiantSortie(IdentifiantAudio s) override {
    journal.push_back("lireIdentifiantSortie " + std::to_string(s));
    return script.identifiantSortie;
  }
  ResultatAudio<IdentifiantAudio> creerTap(const DescriptionTap& d) override {
    journal.push_back(std::string("creerTap ") + d.nom + (d.silencieux ? " silencieux" : ""));
    if (script.tap.valeur != 0) description = d;
    return script.tap;
  }
  ResultatAudio<FormatFlux> lireFormatTap(IdentifiantAudio tap) override {
    journal.push_back("lireFormatTap " + std::to_string(tap));
    return script.format;
  }
  ResultatAudio<IdentifiantAudio> creerAgregat(IdentifiantAudio tap,
                                               const std::string& sortie) override {
    journal.push_back("creerAgregat " + std::to_string(tap) + " " + sortie);
    agregatVivant = script.agregat.valeur != 0;
    return script.agregat;
  }
  ResultatAudio<std::optional<IdentifiantRappel>> creerRappel(IdentifiantAudio agregat,
                                                              RappelES rappel) override {
    journal.push_back("creerRappel " + std::to_string(agregat));
    std::lock_guard garde(rappelVerrou_);
    if (script.rappel.valeur) {
      rappel_ = std::move(rappel);
      rappelInstalle = true;
    }
    return script.rappel;
  }
  StatutAudio demarrer(IdentifiantAudio agregat, IdentifiantRappel rappel) override {
    journal.push_back("demarrer " + std::to_string(agregat) + " " + std::to_string(rappel));
    std::lock_guard garde(rappelVerrou_);
    demarre = script.demarrer == 0;
    return script.demarrer;
  }
  StatutAudio arreter(IdentifiantAudio agregat, IdentifiantRappel rappel) override {
    journal.push_back("arreter " + std::to_string(agregat) + " " + std::to_string(rappel));
    std::lock_guard garde(rappelVerrou_);
    demarre = false;
    return 0;
  }
  StatutAudio detruireRappel(IdentifiantAudio agregat, IdentifiantRappel rappel) override {
    journal.push_back("detruireRappel " + std::to_string(agregat) + " " + std::to_string(rappel));
    std::lock_guard garde(rappelVerrou_);
    rappel_ = nullptr;
    rappelInstalle = false;
    return 0;
  }
  StatutAudio detruireAgregat(IdentifiantAudio agregat) override {
    journal.push_back("detruireAgregat " + std::to_string(agregat));
    agregatVivant = false;
    return 0;
  }
  StatutAudio detruireTap(IdentifiantAudio tap) override {
    journal.push_back("detruireTap " + std::to_string(tap));
    description.reset();
    return 0;
  }
  ResultatAudio<std::optional<DescriptionTap>> lireDescriptionTap(IdentifiantAudio tap) override {
    journal.push_back("lireDescriptionTap " + std::to_string(tap));
    if (script.descriptionAbsente) return {script.lireDescription, std::nullopt};
    return {script.lireDescription, description};
  }
  StatutAudio ecrireDescriptionTap(IdentifiantAudio tap, const DescriptionTap& d) override {
    journal.push_back("ecrireDescriptionTap " + std::to_string(tap) +
                      (d.silencieux ? " silencieux" : ""));
    if (script.ecrireDescription == 0) description = d;
    return script.ecrireDescription;
  }
  StatutAudio lireEchec(IdentifiantAudio /*agregat*/) override { return echec.load(); }

  /// Ce que rend `lireEchec` : le test y met la panne d'une capture qui tourne.
  std::atomic<StatutAudio> echec{0};

 private:
  std::mutex rappelVerrou_;
  RappelES rappel_;
};

}  // namespace ravlo::faux
