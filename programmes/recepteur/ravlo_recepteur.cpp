// SPDX-License-Identifier: MPL-2.0
// ravlo-recepteur : un récepteur pour Linux. S'annonce sur le réseau local, montre un code,
// s'appaire avec l'émetteur qui le tape, puis joue ce qu'il reçoit par PulseAudio ou
// PipeWire, directement sur ALSA, ou l'écrit dans un fichier WAV, à l'heure.
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include <unistd.h>

#include "plateforme/alsa/sortie_alsa.hpp"
#include "plateforme/avahi/annonceur_avahi.hpp"
#include "plateforme/espeak/synthese_espeak.hpp"
#include "plateforme/pipewire/sortie_pipewire.hpp"
#include "plateforme/pulseaudio/sortie_pulse.hpp"
#include "plateforme/signaux_fin.hpp"
#include "plateforme/sortie_wav.hpp"
#include "plateforme/systemd/avis_systemd.hpp"
#include "plateforme/systeme.hpp"
#include "plateforme/textes_programme.hpp"
#include "programmes/recepteur/carnet_fichier.hpp"
#include "programmes/recepteur/code_courant.hpp"
#include "programmes/recepteur/etat_recepteur.hpp"
#include "programmes/recepteur/fichier_config.hpp"
#include "programmes/recepteur/service_recepteur.hpp"
#include "protocol/textes/textes.hpp"

int main(int argc, char** argv) {
  // Avant tout fil : un signal de fin ne tue plus le programme, il se lit.
  ravlo::SignauxFin::bloquer();
  // Les clés d'un appairage ou d'un flux ne partent dans aucun vidage de mémoire.
  (void)ravlo::interdireVidagesMemoire();
  try {
    std::string locale = ravlo::preparerTextes();
    const std::span<const char* const> arguments(argv + 1, static_cast<std::size_t>(argc - 1));
    // Un seul fil à ce stade : personne ne modifie l'environnement.
    const auto variable = [](const char* nom) {
      return std::getenv(nom);  // NOLINT(concurrency-mt-unsafe)
    };
    const auto config = ravlo::chargerConfigRecepteur(
        ravlo::OptionsRecepteur::configNommee(arguments), variable, locale);
    if (!config) {
      std::fprintf(stderr, "%s\n", config.error().c_str());
      return 2;
    }
    auto options = ravlo::OptionsRecepteur::lire(arguments, locale, &std::cin,
                                                 variable("RAVLO_CODE"), *config);
    if (!options) {
      std::fprintf(stderr, "%s\n%s", options.error().c_str(),
                   ravlo::OptionsRecepteur::usage(locale).c_str());
      return 2;
    }
    if (options->aide) {
      std::fputs(ravlo::OptionsRecepteur::usage(locale).c_str(), stdout);
      return 0;
    }
    if (options->version) {
      std::printf("ravlo-recepteur %s\n", RAVLO_VERSION);
      return 0;
    }
    if (const auto& langue = options->langue) locale = *langue;
    // Un terminal suit la ligne d'état ; un journal ne garde que les événements.
    if (::isatty(STDOUT_FILENO) == 1) options->ligneEtat = true;
    const auto etat = ravlo::dossierEtatRecepteur(options->etat, variable);
    if (options->afficherCode) return ravlo::CodeCourant::afficher(etat, locale, stdout, stderr);
    if (options->oublier || options->oublierTout)
      return ravlo::oublierExpediteurs(etat, options->oublier, locale, stdout, stderr);
    ravlo::ServiceRecepteur::Plateforme plateforme;
    plateforme.avis = std::make_unique<ravlo::AvisSystemd>();
    if (const std::optional<std::filesystem::path>& chemin = options->wav; chemin.has_value()) {
      auto wav = ravlo::SortieWav::creer(*chemin);
      if (!wav) {
        const std::string modele = ravlo::texte("Impossible d'écrire « %s » : %s.", locale) + "\n";
        std::fprintf(stderr, modele.c_str(), chemin->c_str(), wav.error().c_str());
        return 2;
      }
      plateforme.sortie = std::move(*wav);
    } else if (auto peripherique = options->peripheriqueAlsa()) {
      // Sans demander de serveur de son : la machine n'en a souvent pas.
      plateforme.sortie = std::make_unique<ravlo::SortieAlsa>(std::move(*peripherique));
    } else if (ravlo::serveurPipewire()) {
      plateforme.sortie = std::make_unique<ravlo::SortiePipewire>(options->sortie);
    } else {
      plateforme.sortie = std::make_unique<ravlo::SortiePulse>(options->sortie);
    }
    if (!options->sansAnnonce) plateforme.annonceur = std::make_unique<ravlo::AnnonceurAvahi>();
    if (options->codeParle) plateforme.synthese = std::make_unique<ravlo::SyntheseEspeak>();
    plateforme.tirerCode = [] { return ravlo::CodeAppairage::aleatoire(); };
    plateforme.etat = etat;
    return ravlo::ServiceRecepteur(*options, locale, std::move(plateforme)).executer();
  } catch (const std::exception& e) {
    // Mémoire, fil ou rééchantillonneur impossibles à obtenir : rien d'autre ne lève.
    std::fprintf(stderr, "ravlo-recepteur : %s\n", e.what());
    return 1;
  }
}
