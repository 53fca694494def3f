// SPDX-License-Identifier: MPL-2.0
// ravlo-envoi lancé pour de vrai : ses statuts et la langue de ses textes (et de l'aide de
// ravlo-recepteur), lancé de l'arbre de construction comme installé sous un autre préfixe, les
// signaux de fin, plusieurs récepteurs, un récepteur qui se tait, un récepteur pris par un
// autre émetteur.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "protocol/supervision/silence_recepteur.hpp"
#include "recepteur/file_lecture.hpp"

#include "e2e/outils_pulse.hpp"
#include "faux/attente.hpp"

namespace ravlo {
namespace {

using essai::ProgrammeLance;
using essai::RecepteurLance;
using namespace std::chrono_literals;

essai::Sortie lancer(const std::string& environnement, const std::string& programme,
                     const std::string& arguments) {
  return essai::executer("env -u LANGUAGE -u LC_ALL -u LC_MESSAGES -u LANG -u RAVLO_CODE " +
                         environnement + " " + programme + " " + arguments);
}

nlohmann::json json(const std::filesystem::path& chemin) {
  return nlohmann::json::parse(std::ifstream(chemin), nullptr, false);
}

// Une socket UDP de la boucle locale liée à un port libre, et ce port.
std::pair<int, std::uint16_t> socketLocale() {
  const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in adresse{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t taille = sizeof adresse;
  ::bind(s, reinterpret_cast<const sockaddr*>(&adresse), sizeof adresse);
  ::getsockname(s, reinterpret_cast<sockaddr*>(&adresse), &taille);
  return {s, ntohs(adresse.sin_port)};
}

struct RavloEnvoi : ::testing::Test {
  const std::filesystem::path dossier =
      std::filesystem::path(::testing::TempDir()) / ("ravlo-envoi-" + std::to_string(getpid()));
  // Les appairages retenus vont dans le dossier de l'essai, pas chez l'utilisateur.
  void SetUp() override {
    std::filesystem::create_directories(dossier);
    ::setenv("XDG_STATE_HOME", chemin("etat").c_str(), 1);
  }
  void TearDown() override { std::filesystem::remove_all(dossier); }
  std::string chemin(const char* nom) const { return (dossier / nom).string(); }
};

// Le statut et les textes des programmes, selon la langue de l'environnement (le choix de la
// langue, variable par variable, et le repli vers le français : systeme_test). Une ligne de
// commande fausse, un code mal formé (d'où il vient, options_envoi_test le dit) ou un fichier
// qui n'est pas un WAV : 2, avant tout appairage ; l'aide : 0 ; un appairage refusé (rien
// n'écoute sur le port 9 de la boucle locale) : 1. Lancé de l'arbre de construction ou installé
// sous un autre préfixe, où il lit ses catalogues à lui.
TEST_F(RavloEnvoi, StatutsEtTextesSelonLaLangue) {
  for (const char* composant : {"textes", "ravlo-envoi"}) {
    EXPECT_EQ(lancer("", RAVLO_CMAKE,
                     std::string("--install ") + RAVLO_CONSTRUCTION + " --prefix " +
                         dossier.string() + " --component " + composant + " >/dev/null")
                  .statut,
              0)
        << composant;
  }
  std::ofstream(chemin("faux.wav")) << "pas un wav";
  const std::string quatreChiffres = "Le code doit faire exactement 4 chiffres.";
  const std::string francais =
      "=Le récepteur refuse la connexion. Ouvre l'app Ravlo ou lance ravlo-recepteur, puis "
      "réessaie.\n";
  const std::string anglais =
      "=The receiver refuses the connection. Open the Ravlo app or start ravlo-recepteur, then "
      "try again.\n";
  const auto installe = (dossier / "bin" / "ravlo-envoi").string();
  const std::string refuse = "--vers 127.0.0.1:9 --code 1234";
  // Programme, environnement, arguments, statut, puis des bouts de la sortie (« = » : toute la
  // sortie, « ^ » : son début).
  using Cas = std::tuple<std::string, std::string, std::string, int, std::vector<std::string>>;
  std::vector<Cas> cas{
      {RAVLO_ENVOI, "", "--vers 127.0.0.1:9 --code 12a4", 2, {quatreChiffres}},
      {RAVLO_ENVOI, "", "--vers 127.0.0.1:9 --code 1234 --wav " + chemin("faux.wav"), 2, {}},
      {RAVLO_ENVOI, "", "--vers 127.0.0.1:9 --code - </dev/null", 2, {"--code - n'a lu aucun"}},
      {RAVLO_ENVOI, "", refuse + " --vers 127.0.0.1:10 --code 12a4", 2, {quatreChiffres}},
      {RAVLO_ENVOI, "LANG=fr_FR.UTF-8", refuse, 1, {francais}},
      {RAVLO_ENVOI, "LANG=en_US.UTF-8", refuse, 1, {anglais}},
      {installe, "LANG=en_US.UTF-8", refuse, 1, {anglais}}};
  // L'aide, demandée ou après un refus (dit dans la même langue) ; les noms des options
  // restent.
  for (const auto& [programme, environnement, attendus] :
       std::vector<std::tuple<std::string, std::string, std::vector<std::string>>>{
           {RAVLO_ENVOI,
            "LANG=en_US.UTF-8",
            {"usage: ravlo-envoi (--vers HOST:PORT | --recepteur NAME) [--code NNNN | --code -]",
             "--code - reads the code from standard input; without --code, it comes from "
             "RAVLO_CODE.\n"}},
           {RAVLO_ENVOI,
            "LANG=fr_FR.UTF-8",
            {"usage : ravlo-envoi (--vers HOTE:PORT | --recepteur NOM)",
             "--code - lit le code sur l'entrée standard"}},
           {RAVLO_RECEPTEUR,
            "LANG=en_US.UTF-8",
            {"usage: ravlo-recepteur [--config FILE] [--nom NAME] [--port PORT]\n",
             "[--sortie OUTPUT | --sortie alsa:DEVICE | --wav FILE]\n"}},
           {RAVLO_RECEPTEUR,
            "LANG=fr_FR.UTF-8",
            {"usage : ravlo-recepteur [--config FICHIER] [--nom NOM]",
             "[--sortie SORTIE | --sortie alsa:PERIPHERIQUE | --wav FICHIER]"}},
       }) {
    for (const char* aide : {"--help", "-h"})
      cas.emplace_back(programme, environnement, aide, 0, attendus);
    auto refus = attendus;
    refus.push_back(environnement.starts_with("LANG=en") ? "^Unknown option: --inconnue.\n"
                                                         : "^Option inconnue : --inconnue.\n");
    cas.emplace_back(programme, environnement, "--inconnue 1", 2, refus);
  }
  const auto dit = [](const std::string& texte, const std::string& attendu) {
    if (attendu.starts_with('=')) return texte == attendu.substr(1);
    if (attendu.starts_with('^')) return texte.starts_with(attendu.substr(1));
    return texte.find(attendu) != std::string::npos;
  };
  for (const auto& [programme, environnement, arguments, statut, attendus] : cas) {
    SCOPED_TRACE(programme + " " + arguments + " sous " + environnement);
    const auto s = lancer(environnement, programme, arguments);
    EXPECT_EQ(s.statut, statut);
    for (const std::string& attendu : attendus)
      EXPECT_TRUE(dit(s.texte, attendu)) << attendu << "\n" << s.texte;
  }
  // Sans l'anglais de l'installation, l'installé dit le français : il lit ses catalogues à
  // lui, pas ceux de la construction.
  std::filesystem::remove_all(dossier / "share" / "locale" / "en");
  EXPECT_EQ(lancer("LANG=en_US.UTF-8", installe, refuse).texte, francais.substr(1));
}

// Les paquets reçus que dit la prochaine ligne d'état du récepteur, celles déjà écrites
// sautées ; −1 si elle ne dit pas « en lecture » ou n'arrive pas.
long paquetsEnLecture(RecepteurLance& r) {
  r.lignesPretes();
  for (std::string l = r.lire(""); !l.empty(); l = r.lire("")) {
    const auto i = l.find("  paquets ");
    if (i == std::string::npos) continue;
    return l.find("en lecture") != std::string::npos ? std::atol(l.c_str() + i + 10) : -1;
  }
  return -1;
}

// Un fichier envoyé à quatre récepteurs. Le quatrième tué (SIGKILL), puis le troisième arrêté
// net (SIGSTOP), se disent muets, sur la sortie d'erreur et, chacun nommé, sur la ligne d'état,
// dès que la supervision les tient pour muets ; les autres reçoivent toujours. Le troisième
// repart, se dit revenu, puis s'arrête (SIGTERM) : l'envoi le dit et continue ; 30 s de
// connexion refusée après, il renonce au quatrième et continue. Les deux premiers écrivent
// chacun le fichier à l'échantillon près, et commencent au même endroit du fichier, à un
// paquet (320 trames) près ; l'envoi finit au bout du fichier.
TEST_F(RavloEnvoi, PlusieursRecepteursJouentLeMemeFichierQuandDAutresSeTaisentOuPartent) {
  // Assez long pour tout ce qui se passe pendant l'envoi, même sur une machine chargée.
  constexpr int secondes = 45;
  std::vector<std::int16_t> entree(2 * 48'000 * secondes);
  std::mt19937 alea(11);
  for (auto& e : entree) e = static_cast<std::int16_t>(1 + alea() % 30'000);  // jamais nul
  essai::ecrireWav(chemin("entree.wav"), entree);
  const std::array<std::string, 2> sorties{chemin("a.wav"), chemin("b.wav")};
  RecepteurLance a({"--wav", sorties[0]}), b({"--wav", sorties[1]}), c({"--wav", "/dev/null"}),
      d({"--wav", "/dev/null"});
  const std::array<RecepteurLance*, 4> tous{&a, &b, &c, &d};
  std::vector<std::string> options{RAVLO_ENVOI, "--wav", chemin("entree.wav"), "--stats",
                                   chemin("e.json")};
  for (auto* r : tous) {
    ASSERT_NE(r->port, 0);
    options.insert(options.end(), {"--vers", r->vers(), "--code", r->code});
  }
  ProgrammeLance envoi(options, true);
  for (auto* r : tous) ASSERT_TRUE(r->attendrePaquets(1)) << r->vers();
  // Muet dès 3 s sans rien d'authentique ; la borne laisse une machine chargée en retard, et
  // reste loin des 30 s au bout desquelles l'envoi renonce à une connexion refusée.
  const auto borne = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::nanoseconds(SilenceRecepteur::silencieuxNs) + 10s);

  d.signaler(SIGKILL);
  EXPECT_NE(envoi.lire(d.vers() + " se tait", borne), "") << envoi.journal;
  c.signaler(SIGSTOP);
  const long avant = paquetsEnLecture(a);
  EXPECT_NE(envoi.lire(c.vers() + " se tait", borne), "") << envoi.journal;
  EXPECT_GT(paquetsEnLecture(a), avant) << "l'envoi continue vers les autres";
  EXPECT_GT(paquetsEnLecture(b), 0);
  const std::string ligne = envoi.lire("récepteur muet : ", 5s);
  EXPECT_NE(ligne.find(c.vers() + ", " + d.vers()), std::string::npos) << ligne;
  for (auto* r : {&a, &b}) EXPECT_EQ(ligne.find(r->vers()), std::string::npos) << ligne;
  c.signaler(SIGCONT);
  EXPECT_NE(envoi.lire(c.vers() + " répond de nouveau", borne), "") << envoi.journal;
  EXPECT_EQ(c.arreter(), 0);  // SIGTERM : la fin part vers l'émetteur
  const std::string suite = " ; l'envoi continue vers les autres récepteurs";
  EXPECT_NE(envoi.lire(c.vers() + " a arrêté la lecture" + suite), "") << envoi.journal;
  EXPECT_NE(envoi.lire(d.vers() + " ne répond plus" + suite, 40s), "") << envoi.journal;

  EXPECT_EQ(envoi.attendre(), 0) << envoi.journal;
  const auto j = json(chemin("e.json"));
  EXPECT_EQ(j["raison"], "finDuFichier");
  ASSERT_EQ(j["recepteurs"].size(), 4u) << j.dump();
  for (std::size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    const auto& r = j["recepteurs"][i];
    EXPECT_EQ(r["vers"], tous[i]->vers());
    EXPECT_EQ(r["fin"], i == 2   ? nlohmann::json("fin")
                        : i == 3 ? nlohmann::json("injoignable")
                                 : nlohmann::json(nullptr));
    EXPECT_EQ(r["recepteurMuet"], i == 3);
    // Le récepteur parti a fermé sa socket : un paquet parti avant que sa fin ne soit lue
    // peut revenir refusé, et sa connexion n'est plus prête. C'est juste.
    EXPECT_TRUE(i >= 2 || r["connexionPrete"] == true) << r.dump();
    EXPECT_GT(r["paquetsEnvoyes"].get<int>(), 0);
  }
  EXPECT_EQ(j["recepteurs"][0]["paquetsEnvoyes"], secondes * 150) << "des paquets de 320 trames";
  EXPECT_EQ(j["paquetsEnvoyes"], j["recepteurs"][0]["paquetsEnvoyes"]) << "la première pièce";

  // Le bout du fichier, retenu tant qu'il ne remplit pas un bloc, s'écrit quand la sortie
  // cesse de l'attendre (1 s) ; le fichier n'a aucun zéro : suivi d'un bloc de silence, il est
  // écrit.
  for (const auto& sortie : sorties) {
    EXPECT_TRUE(essai::attendreQue([&] {
      const auto e = essai::echantillons(sortie, 44);
      std::size_t zeros = 0;
      while (zeros < e.size() && e[e.size() - 1 - zeros] == 0) ++zeros;
      return zeros >= 2 * 480 && zeros < e.size();
    })) << sortie;
  }
  EXPECT_EQ(a.arreter(), 0);
  EXPECT_EQ(b.arreter(), 0);
  // Où chaque fichier commence dépend de l'heure de son premier rendu (l'excédent d'une
  // rafale est rogné à l'amorce) ; où il finit, non : les deux pièces ont reçu le même flux.
  std::array<std::ptrdiff_t, 2> fins{};
  for (std::size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(sorties[i]);
    const auto joue = essai::sonJoue(essai::echantillons(sorties[i], 44));
    ASSERT_GT(joue.size(), entree.size() / 2) << "au moins la moitié du fichier jouée";
    // Jusqu'au fondu qui éteint la fin.
    const auto debut =
        essai::suiteDuFichier(entree, joue, joue.size() - 2 * FileLecture::tramesFondu);
    ASSERT_GE(debut, 0) << "le son joué suit le fichier envoyé, à l'échantillon près";
    fins[i] = debut + static_cast<std::ptrdiff_t>(joue.size());
  }
  EXPECT_LE(std::abs(fins[0] - fins[1]), 2 * 320) << "au même paquet";
}

// Un signal de fin se lit : l'envoi s'arrête de lui-même et écrit ses compteurs (tué par le
// signal, il finirait sur ce signal, sans rien écrire). Pendant l'appairage (un récepteur
// muet), 130 ; pendant l'envoi, 0 : l'utilisateur l'a voulu. Un récepteur, trois émetteurs
// tour à tour : le deuxième prend le récepteur au premier, qui s'arrête en nommant celui qui
// l'a pris ; le deuxième finit sur SIGHUP ; le troisième, appairé ensuite, perd le récepteur.
TEST_F(RavloEnvoi, LesSignauxDeFinEtUnAutreEmetteurQuiPrendLeRecepteur) {
  const auto [muet, port] = socketLocale();
  for (const int signal : {SIGINT, SIGTERM}) {
    ProgrammeLance envoi(
        {RAVLO_ENVOI, "--code", "1234", "--vers", "127.0.0.1:" + std::to_string(port)});
    std::array<std::uint8_t, 2048> recu{};
    ASSERT_GT(::recv(muet, recu.data(), recu.size(), 0), 0) << "le dialogue a commencé";
    EXPECT_EQ(envoi.arreter(signal), 130) << signal << " : un code de sortie, pas la mort";
  }
  ::close(muet);

  RecepteurLance r({"--wav", "/dev/null"});
  ASSERT_NE(r.port, 0);
  // Trois ordinateurs : chacun son carnet, sans quoi le deuxième reprendrait l'appairage du
  // premier au lieu de donner son code.
  const auto envoi = [&](const char* nom, const char* stats, const std::string& code) {
    return std::make_unique<ProgrammeLance>(
        std::vector<std::string>{"env", "XDG_STATE_HOME=" + chemin(stats) + ".etat", RAVLO_ENVOI,
                                 "--stats", chemin(stats), "--nom", nom, "--vers", r.vers(),
                                 "--code", code},
        true);
  };
  auto premier = envoi("Portable", "1.json", r.code);
  std::string code = r.lire("Code : ");
  ASSERT_EQ(code.size(), 4u) << "le code du prochain appairage";
  // Le récepteur répond d'où vient le son scellé, et avant lui, d'où est venu l'appairage, que
  // l'émetteur n'écoute plus : sur une machine chargée, un second appairé avant que le son du
  // premier n'arrive le remplacerait sans qu'il l'apprenne.
  ASSERT_TRUE(r.attendrePaquets(1)) << r.journal;
  auto second = envoi("Bureau de Léa", "2.json", code);
  EXPECT_NE(premier->lire("Bureau de Léa a pris le récepteur", 20s), "") << premier->journal;
  EXPECT_TRUE(essai::attendreQue([&] { return !premier->enVie(); })) << "fini de lui-même";
  EXPECT_EQ(premier->attendre(), 0);
  EXPECT_EQ(json(chemin("1.json"))["raison"], "fin");
  EXPECT_EQ(json(chemin("1.json"))["recepteurs"][0]["prisPar"], "Bureau de Léa");
  ASSERT_NE(second->lire("  paquets "), "") << "l'envoi a commencé";
  code = r.lire("Code : ");
  EXPECT_EQ(second->arreter(SIGHUP), 0) << "un code de sortie, et non la mort par le signal";
  EXPECT_EQ(json(chemin("2.json"))["raison"], "interrompu");

  // Le récepteur tué net (SIGKILL) pendant l'envoi du troisième : abandon au bout de 30 s de
  // connexion refusée, en erreur (l'heure du silence et de l'abandon : diffusion_tests).
  const auto troisieme = envoi("Troisième", "3.json", code);
  ASSERT_NE(troisieme->lire(" s  paquets "), "") << troisieme->journal;
  r.arreter(SIGKILL);
  EXPECT_EQ(troisieme->attendre(), 1);
  std::string fin;
  for (std::string l = troisieme->lire(""); !l.empty(); l = troisieme->lire("")) fin = l;
  EXPECT_EQ(fin, "Le récepteur ne répond plus : envoi arrêté.");
  EXPECT_EQ(json(chemin("3.json"))["raison"], "injoignable");
}

// Un appairage retenu des deux côtés, dans des carnets que seul leur utilisateur lit ; les deux
// programmes relancés, ravlo-envoi reprend sans code et le récepteur le dit. Le récepteur qui
// oublie l'émetteur (« --oublier » pendant qu'il tourne ; un nom inconnu : statut 1) refuse la
// reprise suivante : sans code, ravlo-envoi s'arrête avec 1. Son propre « --oublier » retire sa
// paire ; oublier un inconnu : statut 1.
TEST_F(RavloEnvoi, AppairageRetenuRepriseOublier) {
  const auto [libre, port] = socketLocale();
  ::close(libre);
  const std::string vers = "127.0.0.1:" + std::to_string(port);
  const std::vector<std::string> recepteur = {
      "--wav", "/dev/null", "--port", std::to_string(port), "--etat", chemin("recepteur")};
  const std::string env = "XDG_STATE_HOME=" + chemin("etat");
  const auto envoyer = [&](const std::string& options) {
    return lancer(env, RAVLO_ENVOI, "--nom Portable --vers " + vers + " --secondes 0.3 " + options);
  };
  const auto dit = [](const essai::Sortie& s, int statut, const std::string& texte) {
    EXPECT_EQ(s.statut, statut) << s.texte;
    EXPECT_NE(s.texte.find(texte), std::string::npos) << texte << "\n" << s.texte;
  };
  {
    RecepteurLance r(recepteur);
    dit(envoyer("--code " + r.code), 0, "Appairé avec");
  }
  for (const auto& carnet :
       {chemin("etat") + "/ravlo-link/recepteurs", chemin("recepteur") + "/expediteurs"}) {
    EXPECT_EQ(std::filesystem::status(carnet).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write)
        << carnet;
  }
  RecepteurLance r(recepteur);
  const auto repris = envoyer("");
  dit(repris, 0, "Appairage repris avec");
  dit(repris, 0, "Durée écoulée");
  EXPECT_TRUE(r.lire("Repris sans code avec ").starts_with("Portable (")) << r.journal;

  const std::string oublier =
      std::string(RAVLO_RECEPTEUR) + " --etat " + chemin("recepteur") + " --oublier ";
  dit(essai::executer(oublier + "Personne"), 1, "« Personne »");
  EXPECT_EQ(essai::executer(oublier + "Portable").statut, 0);
  dit(envoyer(""), 1, "ne reprend pas d'appairage mémorisé");

  dit(lancer(env, RAVLO_ENVOI, "--oublier " + vers), 0, "");
  dit(lancer(env, RAVLO_ENVOI, "--oublier " + vers), 1,
      "Aucun appairage mémorisé avec « " + vers + " ».");
}

}  // namespace
}  // namespace ravlo
