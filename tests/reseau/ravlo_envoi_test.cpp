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

// Le statut et les textes des programmes, selon la langue de l'environnement (une langue sans
// catalogue lit le français ; le choix de la langue, variable par variable, est éprouvé dans
// systeme_test). Une ligne de commande fausse, un code mal formé (de la ligne, de l'entrée
// standard ou de RAVLO_CODE) ou un fichier qui n'est pas un WAV : 2, avant tout appairage ;
// l'aide : 0 ; un appairage refusé (rien n'écoute sur le port 9 de la boucle locale) : 1.
// Lancé de l'arbre de construction ou installé sous un autre préfixe, où il lit ses
// catalogues à lui.
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
  std::ofstream(chemin("code")) << "12a4\n";
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
      {RAVLO_ENVOI, "", "--vers 127.0.0.1:9 --code - <" + chemin("code"), 2, {quatreChiffres}},
      {RAVLO_ENVOI, "RAVLO_CODE=12a4", "--vers 127.0.0.1:9", 2, {quatreChiffres}},
      {RAVLO_ENVOI, "", refuse + " --vers 127.0.0.1:10 --code 12a4", 2, {quatreChiffres}},
      {RAVLO_ENVOI, "LANG=fr_FR.UTF-8", refuse, 1, {francais}},
      {RAVLO_ENVOI, "LANG=en_US.UTF-8", refuse, 1, {anglais}},
      {RAVLO_ENVOI, "LANG=de_DE.UTF-8", refuse, 1, {francais}},
      {RAVLO_ENVOI, "LANG=fr_FR.UTF-8 LANGUAGE=de:en_GB:fr", refuse, 1, {anglais}},
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

// Un fichier envoyé à trois récepteurs. Le troisième s'arrête en route : l'envoi le dit et
// continue. Les deux autres écrivent chacun le fichier à l'échantillon près, et commencent au
// même endroit du fichier, à un paquet (320 trames) près ; l'envoi finit au bout du fichier.
TEST_F(RavloEnvoi, PlusieursRecepteursJouentLeMemeFichier) {
  std::vector<std::int16_t> entree(2 * 48'000 * 6);
  std::mt19937 alea(11);
  for (auto& e : entree) e = static_cast<std::int16_t>(1 + alea() % 30'000);  // jamais nul
  essai::ecrireWav(chemin("entree.wav"), entree);
  const std::array<std::string, 2> sorties{chemin("a.wav"), chemin("b.wav")};
  RecepteurLance a({"--wav", sorties[0]}), b({"--wav", sorties[1]}), part({"--wav", "/dev/null"});
  ASSERT_TRUE(a.port != 0 && b.port != 0 && part.port != 0);
  ProgrammeLance envoi({RAVLO_ENVOI, "--wav", chemin("entree.wav"), "--stats", chemin("e.json"),
                        "--vers", a.vers(), "--code", a.code, "--vers", b.vers(), "--code", b.code,
                        "--vers", part.vers(), "--code", part.code},
                       true);
  ASSERT_TRUE(part.attendrePaquets(1));
  EXPECT_EQ(part.arreter(), 0);  // SIGTERM : la fin part vers l'émetteur
  EXPECT_NE(envoi.lire(part.vers() +
                       " a arrêté la lecture ; l'envoi continue vers les autres récepteurs"),
            "")
      << envoi.journal;
  EXPECT_EQ(envoi.attendre(), 0) << envoi.journal;
  const auto j = json(chemin("e.json"));
  EXPECT_EQ(j["raison"], "finDuFichier");
  ASSERT_EQ(j["recepteurs"].size(), 3u) << j.dump();
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const auto& r = j["recepteurs"][i];
    EXPECT_EQ(r["vers"], (i == 0 ? a : i == 1 ? b : part).vers());
    EXPECT_EQ(r["fin"], i == 2 ? nlohmann::json("fin") : nlohmann::json(nullptr));
    // Le récepteur parti a fermé sa socket : un paquet parti avant que sa fin ne soit lue
    // peut revenir refusé, et sa connexion n'est plus prête. C'est juste.
    if (i != 2) {
      EXPECT_EQ(r["connexionPrete"], true);
    }
    EXPECT_GT(r["paquetsEnvoyes"].get<int>(), 0);
  }
  EXPECT_EQ(j["recepteurs"][0]["paquetsEnvoyes"], 900) << "6 s de 320 trames";
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

// Trois récepteurs. Le deuxième arrêté net (SIGSTOP) se dit muet par son nom, sur la sortie
// d'erreur et sur la ligne d'état, dès que la supervision le tient pour muet, bien avant que
// l'envoi ne renonce ; les autres reçoivent toujours ; il repart, il se dit revenu. Le
// troisième tué (SIGKILL) se dit muet de même, et les compteurs écrits disent qui l'est.
TEST_F(RavloEnvoi, UnRecepteurQuiSeTaitSeNommeEtLesAutresJouent) {
  RecepteurLance a({"--wav", "/dev/null"}), b({"--wav", "/dev/null"}), c({"--wav", "/dev/null"});
  ASSERT_TRUE(a.port != 0 && b.port != 0 && c.port != 0);
  ProgrammeLance envoi(
      {RAVLO_ENVOI, "--stats", chemin("e.json"), "--vers", a.vers(), "--code", a.code, "--vers",
       b.vers(), "--code", b.code, "--vers", c.vers(), "--code", c.code},
      true);
  for (auto* r : {&a, &b, &c}) ASSERT_TRUE(r->attendrePaquets(1)) << r->vers();
  // Muet dès 3 s sans rien d'authentique ; la borne laisse une machine chargée en retard, et
  // reste loin des 30 s au bout desquelles l'envoi renonce à une connexion refusée.
  const auto borne = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::nanoseconds(SilenceRecepteur::silencieuxNs) + 10s);

  b.signaler(SIGSTOP);
  const long avant = paquetsEnLecture(a);
  EXPECT_NE(envoi.lire(b.vers() + " se tait", borne), "");
  EXPECT_GT(paquetsEnLecture(a), avant) << "l'envoi continue vers les autres";
  EXPECT_GT(paquetsEnLecture(c), 0);
  const std::string ligne = envoi.lire("récepteur muet", 5s);
  EXPECT_NE(ligne.find(" : " + b.vers()), std::string::npos) << ligne;
  EXPECT_EQ(ligne.find(a.vers()), std::string::npos) << ligne;
  EXPECT_EQ(ligne.find(c.vers()), std::string::npos) << ligne;

  b.signaler(SIGCONT);
  EXPECT_NE(envoi.lire(b.vers() + " répond de nouveau", borne), "");

  c.signaler(SIGKILL);
  EXPECT_NE(envoi.lire(c.vers() + " se tait", borne), "");
  EXPECT_EQ(envoi.arreter(SIGINT), 0);
  const auto j = json(chemin("e.json"));
  ASSERT_EQ(j["recepteurs"].size(), 3u) << j.dump();
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(j["recepteurs"][i]["recepteurMuet"], i == 2) << i;
    EXPECT_EQ(j["recepteurs"][i]["fin"], nullptr) << i;
  }
}

// Un signal de fin se lit : l'envoi s'arrête de lui-même et écrit ses compteurs (tué par le
// signal, il finirait sur ce signal, sans rien écrire). Pendant l'appairage (un récepteur
// muet), 130 ; pendant l'envoi, 0 : l'utilisateur l'a voulu. Un récepteur, trois émetteurs
// tour à tour : le deuxième prend le récepteur au premier, qui s'arrête en nommant celui qui
// l'a pris ; le deuxième finit sur SIGHUP, le troisième, appairé ensuite, sur SIGINT.
TEST_F(RavloEnvoi, LesSignauxDeFinEtUnAutreEmetteurQuiPrendLeRecepteur) {
  const int muet = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in adresse{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t taille = sizeof adresse;
  ::bind(muet, reinterpret_cast<const sockaddr*>(&adresse), sizeof adresse);
  ::getsockname(muet, reinterpret_cast<sockaddr*>(&adresse), &taille);
  for (const int signal : {SIGINT, SIGTERM}) {
    ProgrammeLance envoi({RAVLO_ENVOI, "--code", "1234", "--vers",
                          "127.0.0.1:" + std::to_string(ntohs(adresse.sin_port))});
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
  ASSERT_NE(premier->lire("  paquets "), "");
  auto second = envoi("Bureau de Léa", "2.json", code);
  EXPECT_NE(premier->lire("Bureau de Léa a pris le récepteur", 20s), "") << premier->journal;
  EXPECT_TRUE(essai::attendreQue([&] { return !premier->enVie(); })) << "fini de lui-même";
  EXPECT_EQ(premier->attendre(), 0);
  EXPECT_EQ(json(chemin("1.json"))["raison"], "fin");
  EXPECT_EQ(json(chemin("1.json"))["recepteurs"][0]["prisPar"], "Bureau de Léa");
  for (const auto& [signal, stats] : {std::pair{SIGHUP, "2.json"}, {SIGINT, "3.json"}}) {
    SCOPED_TRACE(signal);
    ASSERT_NE(second->lire("  paquets "), "") << "l'envoi a commencé";
    code = r.lire("Code : ");
    EXPECT_EQ(second->arreter(signal), 0) << "un code de sortie, et non la mort par le signal";
    EXPECT_EQ(json(chemin(stats))["raison"], "interrompu");
    if (signal == SIGHUP) second = envoi("Troisième", "3.json", code);
  }
}

// Un appairage retenu, les deux programmes relancés : sans code, ravlo-envoi reprend ;
// « --oublier » retire la paire, après quoi le code est demandé d'emblée ; oublier un
// inconnu : statut 1.
TEST_F(RavloEnvoi, AppairageRetenuRepriseOublier) {
  const int libre = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in adresse{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t taille = sizeof adresse;
  ::bind(libre, reinterpret_cast<const sockaddr*>(&adresse), sizeof adresse);
  ::getsockname(libre, reinterpret_cast<sockaddr*>(&adresse), &taille);
  ::close(libre);
  const std::string port = std::to_string(ntohs(adresse.sin_port));
  const std::string vers = "127.0.0.1:" + port;
  const std::vector<std::string> recepteur = {"--wav", "/dev/null", "--port",
                                              port,    "--etat",    chemin("recepteur")};
  const std::string env = "XDG_STATE_HOME=" + chemin("etat");
  const auto envoyer = [&](const std::string& options) {
    return lancer(env, RAVLO_ENVOI, "--vers " + vers + " --secondes 0.3 " + options);
  };
  {
    RecepteurLance r(recepteur);
    const auto s = envoyer("--code " + r.code);
    EXPECT_EQ(s.statut, 0) << s.texte;
    EXPECT_NE(s.texte.find("Appairé avec"), std::string::npos) << s.texte;
  }
  const auto fichier = std::filesystem::path(chemin("etat")) / "ravlo-link" / "recepteurs";
  ASSERT_TRUE(std::filesystem::exists(fichier));
  EXPECT_EQ(std::filesystem::status(fichier).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  RecepteurLance r(recepteur);
  const auto repris = envoyer("");
  EXPECT_EQ(repris.statut, 0) << repris.texte;
  EXPECT_NE(repris.texte.find("Appairage repris avec"), std::string::npos) << repris.texte;
  EXPECT_NE(repris.texte.find("Durée écoulée"), std::string::npos) << repris.texte;

  const auto oubli = lancer(env, RAVLO_ENVOI, "--oublier " + vers);
  EXPECT_EQ(oubli.statut, 0) << oubli.texte;
  const auto encore = lancer(env, RAVLO_ENVOI, "--oublier " + vers);
  EXPECT_EQ(encore.statut, 1) << encore.texte;
  EXPECT_NE(encore.texte.find("Aucun appairage mémorisé avec « " + vers + " »."), std::string::npos)
      << encore.texte;
  const auto sansCode = envoyer("");
  EXPECT_EQ(sansCode.statut, 1) << sansCode.texte;
  EXPECT_NE(sansCode.texte.find("ne reprend pas d'appairage mémorisé"), std::string::npos)
      << sansCode.texte;
}

}  // namespace
}  // namespace ravlo
