// SPDX-License-Identifier: MPL-2.0
// graines_fuzz DOSSIER : écrit sous DOSSIER/<cible>/ les graines de chaque cible de fuzzing, faites
// par les vrais encodeurs (messages valides, appairage honnête, flux audio scellé), d'où le fuzzer
// part plutôt que de rien. fuzz/corpus/ en garde la sortie ; scripts/test vérifie qu'elle n'a pas
// changé et la donne aux cibles.
#include <filesystem>
#include <fstream>

#include "outils_fuzz.hpp"

namespace {

using namespace ravlo;
namespace fs = std::filesystem;

fs::path racine;

void ecrire(const std::string& cible, const std::string& nom, VueOctets octets) {
  fs::create_directories(racine / cible);
  std::ofstream(racine / cible / nom, std::ios::binary)
      << std::string_view(reinterpret_cast<const char*>(octets.data()), octets.size());
}

Octets octetsDe(std::string_view texte) {
  return {texte.begin(), texte.end()};
}

/// Un paquet de `trames` trames d'une dent de scie.
Octets paquet(std::uint32_t sequence, std::size_t trames) {
  Octets pcm(4 * trames);
  for (std::size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<std::uint8_t>(sequence + i);
  return PaquetAudio::creer(sequence, sequence * 6'666'667ULL, pcm)->encoder();
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

// Une entrée de fuzz_recepteur : des pas (sorte, attente × 0,2 ms, puis longueur et octets)
// et des tics (4, 0, puis les trames à rendre : 64 = {64, 0}, 480 = {0xe0, 1}).
struct Pas {
  EcrivainOctets e;
  Pas& pas(std::uint8_t sorte, std::uint8_t attente, const Octets& octets) {
    const auto n = static_cast<std::uint16_t>(octets.size());
    e.ecrire(Octets{sorte, attente}).ecrire(n).ecrire(octets);
    return *this;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  racine = argv[1];
  const std::vector<Octets> fil = transcription();
  Pas flux;  // une réponse d'horloge, puis des paquets réguliers et le rendu qui les tire
  flux.pas(2, 0, MessageHorloge::question(1'000'000'000).reponse(5'000'000, 5'000'100).encoder());
  for (std::uint32_t s = 0; s < 12; ++s)
    flux.pas(1, 33, paquet(s, 64)).e.ecrire(Octets{4, 0, 64, 0});
  ecrire("fuzz_recepteur", "flux", std::move(flux.e).terminer());

  // Paquets en désordre, un rejeu, un étranger, la latence du groupe, et ce qu'un inconnu
  // envoie : un message d'appairage, un paquet en clair.
  Pas desordre;
  for (const std::uint32_t s : {0U, 2U, 1U, 5U, 3U}) desordre.pas(1, 33, paquet(s, 32));
  desordre.e.ecrire(Octets{3, 0, 1});
  desordre.pas(0x81, 5, paquet(4, 32)).pas(2, 10, MessageGroupe::latence(40'000'000, 2).encoder());
  desordre.pas(0x80, 0, fil.front()).pas(0, 1, paquet(0, 16));
  ecrire("fuzz_recepteur", "desordre",
         std::move(desordre.e.ecrire(Octets{4, 0, 0xe0, 1})).terminer());

  for (std::size_t i = 0; i < 6; ++i)
    ecrire("fuzz_message_passkey", "message-" + std::to_string(i), fil[i]);
  ecrire("fuzz_message_passkey", "fin", fil.back());
  // L'entrée honnête d'une cible d'appairage telle qu'un FuzzedDataProvider la lit : le nom
  // devant (fini par « \; »), `pas` à chaque tour, et les entiers du début depuis la fin, le
  // dernier octet d'abord.
  const auto honnete = [&](std::string_view nom, const Octets& pas, const Octets& debut) {
    Octets o = nom.empty() ? Octets{} : octetsDe(std::string(nom) + "\\;");
    for (std::size_t i = 0; i < fil.size() + 2; ++i) o.insert(o.end(), pas.begin(), pas.end());
    o.insert(o.end(), debut.rbegin(), debut.rend());
    return o;
  };
  // Code 0042 des deux côtés ; à chaque tour, le message juste vers le répondeur (pas 3) puis
  // sa réponse vers l'initiateur (pas 6).
  ecrire("fuzz_appairage", "honnete", honnete("Salon", {6, 3}, {0, 42, 7, 1, 5}));
  // Un code fixé ; trois sources au bon code, la première va au bout.
  ecrire("fuzz_guichet_appairage", "honnete", honnete("", {0, 0, 3}, {0, 42, 1, 1, 1, 1}));

  // Chaque message d'une reprise honnête, pour le décodeur (octet 0 pair), puis la reprise
  // jouée par les automates (octet 0 impair) : même PSK, hasard 7, quatre pas honnêtes.
  SecretPaire paire;
  paire.identifiant.fill(7);
  paire.psk.octets().fill(1);
  RepriseInitiateur ini(paire, std::make_shared<HasardDeterministe>(1000));
  RepriseRepondeur rep([&](const IdentifiantPaire&) { return std::optional(paire); },
                       std::make_shared<HasardDeterministe>(7));
  const MessageReprise reponse = *rep.recevoir(ini.dernierMessage());
  const std::vector<MessageReprise> reprise{ini.dernierMessage(), reponse, *ini.recevoir(reponse),
                                            MessageReprise(1, MessageReprise::Refus{})};
  for (std::size_t n = 0; n < reprise.size(); ++n) {
    Octets o = reprise[n].donnees();
    o.insert(o.begin(), 0);
    ecrire("fuzz_reprise", "message-" + std::to_string(n), o);
  }
  // Lus depuis la fin : même PSK (1), hasard 7, puis les quatre pas (5).
  ecrire("fuzz_reprise", "honnete", Octets{1, 5, 5, 5, 5, 7, 1});

  RecepteurMemorise salon{IdentifiantRecepteur{1, 2, 3}, "192.168.1.20:47311", paire, "Salon", 1};
  RecepteurMemorise tape{std::nullopt, "[::1]:47311", paire, "[::1]:47311", 2};
  ecrire("fuzz_carnet_recepteurs", "deux", ecrireCarnet({salon, tape}));

  CarnetExpediteurs carnet;
  for (std::uint8_t n : {1, 3}) {
    SecretPaire p;
    p.identifiant.fill(n);
    p.psk.octets().fill(static_cast<std::uint8_t>(n + 1));
    carnet.retenir(p, n == 1 ? "Salon" : "Cuisine", 1'700'000'000 + 60 * n);
  }
  ecrire("fuzz_carnet_expediteurs", "deux", carnet.ecrire());

  ecrire("fuzz_paquet_audio", "plein", paquet(7, PaquetAudio::tramesMax));
  const auto question = MessageHorloge::question(123'456'789);
  ecrire("fuzz_message_horloge", "question", question.encoder());
  ecrire("fuzz_message_horloge", "reponse", question.reponse(987'654'321, 987'654'400).encoder());
  ecrire("fuzz_message_horloge", "besoin", MessageGroupe::besoin(30'000'000, 25'000'000).encoder());
  ecrire("fuzz_message_horloge", "latence", MessageGroupe::latence(40'000'000, 3).encoder());
  ecrire("fuzz_message_releve", "releve", MessageReleve{"Cuisine"}.encoder());
  ecrire("fuzz_bonjour_page", "bonjour", octetsDe(ecrireBonjourPage({"iPhone — Safari", "fr-FR"})));
  ecrire("fuzz_bonjour_page", "bonjour_reprise",
         octetsDe(ecrireBonjourPage(
             {"Pixel — Chrome", "en-GB", IdentifiantRecepteur{0x0f, 1, 2, 0xab, 0xff}, true})));
  ecrire("fuzz_bonjour_page", "bonjour_id_faux",
         octetsDe("ravlo-page 1\nid=0F0102AB\nreprise=2\nnom=x"));
  ecrire("fuzz_etat_carte", "pause",
         octetsDe(EtatCarte{.sonCoupe = false, .enPause = true}.encoder()));
  const EtatSilence silence{"speakers", {{12, "speakers"}, {15, "casque usb"}}};
  ecrire("fuzz_etat_silence", "deux", octetsDe(silence.texte()));
  ecrire("fuzz_config_recepteur", "salon",
         octetsDe("# Salon\nnom = Salon du haut  # commentaire\nsortie = alsa:default\n"
                  "port = 4798\nlangue = fr_FR.UTF-8\ncode-parle = non\n"
                  "etat = /var/lib/ravlo-recepteur\n"));
  Octets wav = FichierWav::entete(16);
  wav.resize(wav.size() + 16, 0x40);  // quatre trames
  ecrire("fuzz_fichier_wav", "court", wav);

  EcrivainOctets ouvreur;  // scelle deux contenus, rejoue le premier, abîme le second
  for (const std::uint8_t op : {0, 4})
    ouvreur.ecrire(op).ecrire(std::uint64_t{op}).ecrire(std::uint8_t{5}).ecrire(octetsDe("salut"));
  ouvreur.ecrire(Octets{2, 0, 0, 3, 1, 0, 0x40});
  ecrire("fuzz_ouvreur", "echanges", std::move(ouvreur).terminer());

  EcrivainOctets synchro;  // dix échanges : décalage de 5 ms, 0,2 ms de trajet
  synchro.ecrire(std::uint64_t{1'000'000'000});
  const auto proche = [&](std::uint32_t ecart) { synchro.ecrire(std::uint8_t{2}).ecrire(ecart); };
  for (int i = 0; i < 10; ++i) {
    synchro.ecrire(std::uint8_t{1});
    proche(0);
    synchro.ecrire(std::uint64_t{5'000'000});
    for (const std::uint32_t ecart : {100'000U, 20'000U, 200'000U, 100'000'000U}) proche(ecart);
  }
  ecrire("fuzz_synchro_horloges", "echanges", std::move(synchro).terminer());
  // Le catalogue que la construction compile (msgfmt), tel quel.
  std::ifstream mo(RAVLO_CATALOGUE_GRAINE, std::ios::binary);
  ecrire("fuzz_catalogue_textes", "fr.mo", Octets(std::istreambuf_iterator<char>(mo), {}));
  return 0;
}
