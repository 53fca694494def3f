// SPDX-License-Identifier: MPL-2.0
// Les lecteurs de messages et de fichiers face à des octets quelconques, une cible chacun
// (`RAVLO_ANALYSEUR` la choisit à la construction) : jamais de lecture hors limites, et ce
// qui est lu se réécrit à l'identique puis se relit égal.
#include <algorithm>
#include <string_view>
#include <variant>

#include "outils_fuzz.hpp"
#include "plateforme/pulseaudio/etat_silence.hpp"
#include "protocol/appairage/texte_unicode.hpp"
#include "protocol/audio/fichier_wav.hpp"
#include "protocol/messages/canal_horloge.hpp"
#include "protocol/messages/etat_carte.hpp"
#include "protocol/messages/message_fin.hpp"
#include "protocol/messages/message_releve.hpp"
#include "protocol/messages/paquet_audio.hpp"
#include "protocol/textes/catalogue_textes.hpp"

namespace ravlo::analyseurs {

inline std::string_view texte(VueOctets e) {
  return {reinterpret_cast<const char*>(e.data()), e.size()};
}

// Réencodé à l'identique, octet 3 mis à part, puis relu égal.
inline void paquetAudio(VueOctets e) {
  const auto paquet = PaquetAudio::lire(e);
  if (!paquet) return;
  const Octets encode = paquet->encoder();
  exiger(encode.size() == e.size());
  for (std::size_t i = 0; i < e.size(); ++i) exiger(i == 3 || encode[i] == e[i]);
  exiger(PaquetAudio::lire(encode) == paquet);
}

// Messages d'horloge et de groupe ; le dernier champ d'un message de groupe n'est pas lu. Une
// entrée de la taille d'un message d'horloge n'est jamais refusée pour sa taille.
inline void canalHorloge(VueOctets e) {
  const auto message = lireCanalHorloge(e);
  if (!message) {
    exiger(e.size() != MessageHorloge::taille ||
           message.error().cas != CasErreurMessageHorloge::tailleInvalide);
    return;
  }
  const Octets encode = std::visit([](const auto& m) { return m.encoder(); }, *message);
  const std::size_t lus = std::holds_alternative<MessageGroupe>(*message) ? 20 : e.size();
  exiger(encode.size() == e.size() && std::equal(encode.begin(), encode.begin() + lus, e.begin()));
}

// Dans une enveloppe de fin : jamais lu à la fois comme une fin et comme une relève.
inline void messageReleve(VueOctets e) {
  const auto releve = MessageReleve::lire(e);
  if (!releve) return;
  exiger(!MessageFin::estFin(e) && releve->nom.size() <= nomOctetsMax);
  const Octets encode = releve->encoder();
  exiger(std::ranges::equal(encode, e) && MessageReleve::lire(encode) == releve);
}

// La forme sur le fil est unique.
inline void messagePasskey(VueOctets e) {
  const auto message = MessagePasskey::decoder(e);
  if (!message) return;
  exiger(std::ranges::equal(message->donnees(), e));
  exiger(MessagePasskey::decoder(message->donnees()) == message);
}

inline void etatCarte(VueOctets e) {
  const auto etat = EtatCarte::decoder(texte(e));
  if (etat) exiger(EtatCarte::decoder(etat->encoder()) == etat);
}

// Le fichier d'état du silence, lu au démarrage, peut-être tronqué ou abîmé.
inline void etatSilence(VueOctets e) {
  const auto etat = EtatSilence::lire(texte(e));
  if (etat) exiger(EtatSilence::lire(etat->texte()) == etat);
}

// Chaque clé gardée se retrouve.
inline void catalogueTextes(VueOctets e) {
  const auto catalogue = CatalogueTextes::lire(e);
  if (!catalogue) return;
  exiger(catalogue->taille() <= e.size());
  (void)catalogue->traduire("");
  (void)catalogue->traduire(texte(e).substr(0, e.size() / 2));
}

// Les données annoncées tiennent dans le fichier, en trames entières.
inline void fichierWav(VueOctets e) {
  const auto wav = FichierWav::lire(e);
  if (!wav) return;
  exiger(wav->debutDonnees <= e.size() && wav->octetsDonnees <= e.size() - wav->debutDonnees &&
         wav->octetsDonnees % 4 == 0);
}

}  // namespace ravlo::analyseurs

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* donnees, std::size_t taille) {
  ravlo::analyseurs::RAVLO_ANALYSEUR(ravlo::VueOctets(donnees, taille));
  return 0;
}
