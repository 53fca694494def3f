// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "plateforme/annonceur_services.hpp"
#include "plateforme/avis_service.hpp"
#include "plateforme/executeur.hpp"
#include "plateforme/socket_datagramme.hpp"
#include "plateforme/sortie_audio.hpp"
#include "plateforme/synthese_vocale.hpp"
#include "protocol/appairage/code_appairage.hpp"
#include "recepteur/options_recepteur.hpp"

namespace ravlo {

/// Le récepteur habillé pour tourner : socket datagramme, tic de 200 ms, ligne d'état chaque
/// seconde (`ligneEtat` ; sinon la sortie ne dit que les événements), état et chien de garde
/// du gestionnaire de services, signaux, annonce et sortie de son. Tout tourne sur le fil qui
/// appelle `executer` (le fil principal de la plateforme), sauf le rendu (fil de la sortie) et les
/// rappels de l'annonce (reportés sur ce fil).
class ServiceRecepteur {
 public:
  struct Plateforme {
    std::unique_ptr<SortieAudio> sortie;
    std::unique_ptr<AnnonceurServices> annonceur;  ///< nul : pas d'annonce
    std::function<CodeAppairage()> tirerCode;
    std::FILE* messages = stdout;
    std::FILE* erreurs = stderr;
    /// La socket d'écoute sur la file du service ; nul : une `SocketUDP`.
    std::function<std::unique_ptr<SocketDatagramme>(File&)> socket = {};
    /// Dit le code sur demande, sur un fil à elle ; nulle : le code ne se dit pas.
    std::unique_ptr<SyntheseVocale> synthese = {};
    /// Le dossier d'état (`dossierEtatRecepteur`) ; vide : rien de mémorisé, ni identifiant
    /// annoncé ni reprise sans code.
    std::filesystem::path etat = {};
    /// Le gestionnaire de services ; nul : personne à qui le dire.
    std::unique_ptr<AvisService> avis = {};
  };

  ServiceRecepteur(const OptionsRecepteur& options, std::string locale, Plateforme plateforme);
  ~ServiceRecepteur();
  ServiceRecepteur(const ServiceRecepteur&) = delete;
  ServiceRecepteur& operator=(const ServiceRecepteur&) = delete;

  /// Tourne jusqu'à un signal, `--secondes`, un code fixé épuisé ou une panne de la sortie ;
  /// rend le statut de sortie du programme (0, ou 1 pour une course qui échoue).
  int executer();

  struct Etat;

 private:
  std::unique_ptr<Etat> etat_;
};

}  // namespace ravlo
