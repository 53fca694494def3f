// SPDX-License-Identifier: MPL-2.0
// graines_fuzz DOSSIER : écrit sous DOSSIER/<cible>/ les graines de chaque cible de fuzzing, faites
// par les vrais encodeurs (messages valides, appairage honnête, flux audio scellé), d'où le fuzzer
// part plutôt que de rien. fuzz/corpus/ en garde la sortie ; scripts/test vérifie qu'elle n'a pas
// changé et la donne aux cibles.
#include <filesystem>
#include <fstream>
#include <vector>

#include "faux/hasard_deterministe.hpp"
#include "plateforme/pulseaudio/etat_silence.hpp"
#include "protocol/appairage/appairage_initiateur.hpp"
#include "protocol/appairage/appairage_repondeur.hpp"
#include "protocol/audio/fichier_wav.hpp"
#include "protocol/base/ecrivain_octets.hpp"
#include "protocol/messages/etat_carte.hpp"
#include "protocol/messages/message_groupe.hpp"
#include "protocol/messages/message_horloge.hpp"
#include "protocol/messages/message_releve.hpp"
#include "protocol/messages/paquet_audio.hpp"
#include "protocol/reprise/reprise_initiateur.hpp"
#include "protocol/reprise/reprise_repondeur.hpp"

namespace {

using namespace ravlo;
namespace fs = std::filesystem;

fs::path racine;

void ecrire(const std::string& cible, const std::string& nom, const Octets& octets) {
  fs::create_directories(racine / cible);
  std::ofstream(racine / cible / nom, std::ios::binary)
      .write(reinterpret_cast<const char*>(octets.data()),
             static_cast<std::streamsize>(octets.size()));
}

Octets octetsDe(std::string_view texte) {
  return {texte.begin(), texte.end()};
}

void ajouter(Octets& a, const Octets& b) {
  a.insert(a.end(), b.begin(), b.end());
}

template <typename T>
void ajouterEntier(Octets& a, T valeur) {
  for (std::size_t i = 0; i < sizeof(T); ++i)
    a.push_back(static_cast<std::uint8_t>(valeur >> (8 * i)));
}

/// L'entrée qu'un FuzzedDataProvider lit comme on l'écrit : les octets pris devant, les
/// entiers pris derrière (le dernier octet d'abord, le plus significatif).
struct EntreeFdp {
  Octets devant, derriere;
  void entier(std::uint64_t valeur, int octets) {
    for (int i = octets - 1; i >= 0; --i)
      derriere.push_back(static_cast<std::uint8_t>(valeur >> (8 * i)));
  }
  void texte(std::string_view t) {
    ajouter(devant, octetsDe(t));
    ajouter(devant, octetsDe("\\;"));  // fin du texte
  }
  [[nodiscard]] Octets octets() const {
    Octets o = devant;
    o.insert(o.end(), derriere.rbegin(), derriere.rend());
    return o;
  }
};

Octets pcm(std::size_t trames, int phase) {
  Octets o;
  for (std::size_t i = 0; i < trames; ++i) {
    const auto v = static_cast<std::int16_t>(((static_cast<int>(i) + phase) % 48 - 24) * 1000);
    ajouterEntier(o, v);
    ajouterEntier(o, v);
  }
  return o;
}

Octets paquet(std::uint32_t sequence, std::size_t trames) {
  return PaquetAudio::creer(sequence, sequence * 6'666'667ULL,
                            pcm(trames, static_cast<int>(sequence)))
      ->encoder();
}

/// Un appairage honnête au code 0042 : chaque message, dans l'ordre du fil.
std::vector<Octets> transcription() {
  const auto code = *CodeAppairage::depuisSaisie("0042");
  AppairageInitiateur initiateur(code, "Salon", std::make_shared<HasardDeterministe>(2));
  AppairageRepondeur repondeur(code, std::make_shared<HasardDeterministe>(1));
  std::vector<Octets> fil;
  std::optional<MessagePasskey> m = initiateur.dernierMessage();
  for (bool versRepondeur = true; m; versRepondeur = !versRepondeur) {
    fil.push_back(m->donnees());
    m = versRepondeur ? repondeur.recevoir(*m) : initiateur.recevoir(*m);
  }
  return fil;
}

// Un pas de fuzz_recepteur : sorte, attente (× 0,2 ms), puis longueur et octets.
void pas(Octets& e, std::uint8_t sorte, std::uint8_t attente, const Octets& octets) {
  e.push_back(sorte);
  e.push_back(attente);
  ajouterEntier(e, static_cast<std::uint16_t>(octets.size()));
  ajouter(e, octets);
}
void tic(Octets& e, std::uint16_t trames) {
  e.push_back(4);
  e.push_back(0);
  ajouterEntier(e, trames);
}

void recepteur() {
  const Octets horloge =
      MessageHorloge::question(1'000'000'000).reponse(5'000'000, 5'000'100).encoder();
  Octets flux;  // une réponse d'horloge, puis des paquets réguliers et le rendu qui les tire
  pas(flux, 2, 0, horloge);
  for (std::uint32_t s = 0; s < 12; ++s) {
    pas(flux, 1, 33, paquet(s, 64));
    tic(flux, 64);
  }
  ecrire("fuzz_recepteur", "flux", flux);

  Octets desordre;  // paquets en désordre, un rejeu, un étranger, la latence du groupe
  for (const std::uint32_t s : {0U, 2U, 1U, 5U, 3U}) pas(desordre, 1, 33, paquet(s, 32));
  desordre.insert(desordre.end(), {3, 0, 1});
  pas(desordre, 0x81, 5, paquet(4, 32));
  pas(desordre, 2, 10, MessageGroupe::latence(40'000'000, 2).encoder());
  tic(desordre, 480);
  ecrire("fuzz_recepteur", "desordre", desordre);

  Octets brut;  // ce qu'un inconnu envoie : un message d'appairage, un paquet en clair
  pas(brut, 0x80, 0, transcription().front());
  pas(brut, 0, 1, paquet(0, 16));
  ecrire("fuzz_recepteur", "brut", brut);
}

void appairage() {
  const std::vector<Octets> fil = transcription();
  for (std::size_t i = 0; i < fil.size() && i < 6; ++i)
    ecrire("fuzz_message_passkey", "message-" + std::to_string(i), fil[i]);
  ecrire("fuzz_message_passkey", "fin", fil.back());

  EntreeFdp initiateur;  // le code du pair, honnête à chaque pas
  initiateur.entier(42, 2);
  initiateur.entier(1, 1);
  initiateur.entier(7, 1);
  initiateur.texte("Salon");
  for (std::size_t i = 0; i < fil.size() + 2; ++i) initiateur.entier(1, 1);
  ecrire("fuzz_appairage_initiateur", "honnete", initiateur.octets());

  EntreeFdp repondeur;
  repondeur.entier(42, 2);
  repondeur.entier(7, 1);
  repondeur.entier(1, 1);  // l'initiateur tape le bon code
  for (std::size_t i = 0; i < fil.size() + 2; ++i) repondeur.entier(7, 1);
  ecrire("fuzz_appairage_repondeur", "honnete", repondeur.octets());

  EntreeFdp guichet;  // un code fixé ; trois sources au bon code, la première va au bout
  guichet.entier(42, 2);
  guichet.entier(1, 1);
  for (int s = 0; s < 3; ++s) guichet.entier(1, 1);
  for (std::size_t i = 0; i < fil.size() + 2; ++i) {
    guichet.entier(3, 1);
    guichet.entier(0, 1);
    guichet.entier(0, 1);
  }
  ecrire("fuzz_guichet_appairage", "honnete", guichet.octets());
}

void messages() {
  ecrire("fuzz_paquet_audio", "plein", paquet(7, PaquetAudio::tramesMax));
  ecrire("fuzz_paquet_audio", "court", paquet(8, 1));
  const auto question = MessageHorloge::question(123'456'789);
  ecrire("fuzz_message_horloge", "question", question.encoder());
  ecrire("fuzz_message_horloge", "reponse", question.reponse(987'654'321, 987'654'400).encoder());
  ecrire("fuzz_message_horloge", "besoin", MessageGroupe::besoin(30'000'000, 25'000'000).encoder());
  ecrire("fuzz_message_horloge", "latence", MessageGroupe::latence(40'000'000, 3).encoder());
  ecrire("fuzz_message_releve", "releve", MessageReleve{"Cuisine"}.encoder());
  ecrire("fuzz_etat_carte", "pause",
         octetsDe(EtatCarte{.sonCoupe = false, .enPause = true}.encoder()));
  ecrire("fuzz_etat_carte", "coupe",
         octetsDe(EtatCarte{.sonCoupe = true, .enPause = false}.encoder()));
  const EtatSilence silence{"speakers", {{12, "speakers"}, {15, "casque usb"}}};
  ecrire("fuzz_etat_silence", "deux", octetsDe(silence.texte()));
  Octets wav = FichierWav::entete(16);
  ajouter(wav, pcm(4, 0));
  ecrire("fuzz_fichier_wav", "court", wav);

  Octets ouvreur;  // scelle deux contenus, rejoue le premier, abîme le second
  for (const std::uint8_t op : {0, 4}) {
    ouvreur.push_back(op);
    ajouterEntier(ouvreur, std::uint64_t{op});
    ouvreur.push_back(5);
    ajouter(ouvreur, octetsDe("salut"));
  }
  ouvreur.insert(ouvreur.end(), {2, 0, 3, 1, 0, 0x40});
  ecrire("fuzz_ouvreur", "echanges", ouvreur);

  Octets synchro;  // dix échanges : décalage de 5 ms, 0,2 ms de trajet
  ajouterEntier(synchro, std::uint64_t{1'000'000'000});
  for (int i = 0; i < 10; ++i) {
    synchro.push_back(1);
    const auto proche = [&](std::uint32_t ecart) {
      synchro.push_back(2);
      ajouterEntier(synchro, ecart);
    };
    proche(0);
    ajouterEntier(synchro, std::uint64_t{5'000'000});
    proche(100'000);
    proche(20'000);
    proche(200'000);
    proche(100'000'000);
  }
  ecrire("fuzz_synchro_horloges", "echanges", synchro);
}

/// fuzz_reprise : chaque message d'une reprise honnête pour le décodeur (octet 0 pair),
/// puis la reprise jouée par les automates (octet 0 impair, même PSK, quatre pas honnêtes).
void reprise() {
  SecretPaire paire;
  paire.identifiant.fill(7);
  paire.psk.octets().fill(1);
  RepriseInitiateur i(paire, std::make_shared<HasardDeterministe>(1000));
  RepriseRepondeur r([&](const IdentifiantPaire&) { return std::optional(paire); },
                     std::make_shared<HasardDeterministe>(7));
  const MessageReprise reponse = *r.recevoir(i.dernierMessage());
  const std::vector<MessageReprise> fil{i.dernierMessage(), reponse, *i.recevoir(reponse),
                                        MessageReprise(1, MessageReprise::Refus{})};
  for (std::size_t n = 0; n < fil.size(); ++n) {
    Octets graine{0};
    ajouter(graine, fil[n].donnees());
    ecrire("fuzz_reprise", "message-" + std::to_string(n), graine);
  }
  EntreeFdp automates;
  automates.entier(1, 1);
  automates.entier(7, 1);
  for (int pas = 0; pas < 4; ++pas) automates.entier(5, 1);
  Octets graine{1};
  ajouter(graine, automates.octets());
  ecrire("fuzz_reprise", "honnete", graine);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  racine = argv[1];
  recepteur();
  appairage();
  messages();
  reprise();
  // Le catalogue que la construction compile (msgfmt), tel quel.
  std::ifstream mo(RAVLO_CATALOGUE_GRAINE, std::ios::binary);
  ecrire("fuzz_catalogue_textes", "fr.mo", Octets(std::istreambuf_iterator<char>(mo), {}));
  return 0;
}
