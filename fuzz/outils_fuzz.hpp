// SPDX-License-Identifier: MPL-2.0
#pragma once

// Ce que les cibles de fuzzing et leurs graines lisent et écrivent : les messages, les fichiers et
// les automates du protocole, le récepteur et le hasard déterministe des essais.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <map>
#include <set>

#include "bench/recepteur_appaire.hpp"
#include "link/decouverte/carnet_recepteurs.hpp"
#include "plateforme/pulseaudio/etat_silence.hpp"
#include "plateforme/web/bonjour_page.hpp"
#include "protocol/appairage/appairage_repondeur.hpp"
#include "protocol/appairage/demande_code.hpp"
#include "protocol/appairage/texte_unicode.hpp"
#include "protocol/audio/fichier_wav.hpp"
#include "protocol/base/ecrivain_octets.hpp"
#include "protocol/base/lecteur_octets.hpp"
#include "protocol/lecture/synchro_horloges.hpp"
#include "protocol/messages/canal_horloge.hpp"
#include "protocol/messages/etat_carte.hpp"
#include "protocol/messages/message_fin.hpp"
#include "protocol/messages/message_releve.hpp"
#include "protocol/messages/paquet_audio.hpp"
#include "protocol/reprise/reprise_initiateur.hpp"
#include "protocol/reprise/reprise_repondeur.hpp"
#include "protocol/textes/catalogue_textes.hpp"
#include "recepteur/carnet_expediteurs.hpp"
#include "recepteur/config_recepteur.hpp"

namespace ravlo {

/// Un invariant rompu arrête la cible : libFuzzer garde l'entrée fautive.
inline void exiger(bool condition) {
  if (!condition) std::abort();
}

}  // namespace ravlo
