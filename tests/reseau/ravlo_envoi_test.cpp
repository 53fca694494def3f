// SPDX-License-Identifier: MPL-2.0
// ravlo-envoi lancé pour de vrai : ses refus de ligne de commande, la langue de ses textes
// (et de l'aide de ravlo-recepteur), lancé de l'arbre de construction comme installé sous un
// autre préfixe, le refus d'un récepteur en pause, le code tenu hors de la ligne de commande,
// plusieurs récepteurs, un récepteur qui se tait, un récepteur pris par un autre émetteur.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "protocol/appairage/message_passkey.hpp"
#include "protocol/audio/fichier_wav.hpp"
#include "protocol/supervision/silence_recepteur.hpp"
#include "recepteur/file_lecture.hpp"

#include "bench/relais/recepteur_lance.hpp"
#include "e2e/outils_pulse.hpp"
#include "faux/attente.hpp"

namespace ravlo {
namespace {

using asio::ip::udp;

struct Sortie {
  std::string texte;
  int statut = -1;
};

// Rien n'écoute sur le port 9 de la boucle locale : un appairage y est refusé.
Sortie lancer(const std::string& environnement, const std::string& programme,
              const std::string& arguments) {
  Sortie s;
  const std::string ligne = "env -u LANGUAGE -u LC_ALL -u LC_MESSAGES -u LANG -u RAVLO_CODE " +
                            environnement + " " + programme + " " + arguments +
                            " 2>&1; echo \"statut=$?\"";
  if (FILE* f = ::popen(ligne.c_str(), "r")) {
    char morceau[1024];
    for (std::size_t n = 0; (n = std::fread(morceau, 1, sizeof morceau, f)) > 0;)
      s.texte.append(morceau, n);
    ::pclose(f);
  }
  const auto statut = s.texte.rfind("statut=");
  if (statut == std::string::npos) return s;
  s.statut = std::stoi(s.texte.substr(statut + 7));
  s.texte.resize(statut);
  return s;
}

struct RavloEnvoi : ::testing::Test {
  const std::filesystem::path dossier =
      std::filesystem::path(::testing::TempDir()) / ("ravlo-envoi-" + std::to_string(getpid()));
  void SetUp() override { std::filesystem::create_directories(dossier); }
  void TearDown() override { std::filesystem::remove_all(dossier); }
};

// Une ligne de commande fausse, ou un fichier qui n'est pas un WAV : statut 2, avant tout
// appairage. Le code lu sur l'entrée standard ou dans RAVLO_CODE passe la même validation ;
// `--code` l'emporte sur RAVLO_CODE, et RAVLO_CODE vide compte pour absent.
TEST_F(RavloEnvoi, RefusDeLaLigneDeCommande) {
  const auto faux = dossier / "faux.wav";
  std::ofstream(faux) << "pas un wav";
  const auto codeFaux = dossier / "code";
  std::ofstream(codeFaux) << "12a4\n";
  const std::string quatreChiffres = "Le code doit faire exactement 4 chiffres.";
  const std::string obligatoires = "sont obligatoires.";
  // Environnement, arguments, début d'un bout de la sortie (vide : non vérifié).
  for (const auto& [environnement, arguments, attendu] :
       std::vector<std::tuple<std::string, std::string, std::string>>{
           {"", "--vers 127.0.0.1:9 --code 12a4", quatreChiffres},
           {"", "--vers 127.0.0.1:9 --code 1234 --wav " + faux.string(), ""},
           {"", "--recepteur Salon --vers 127.0.0.1:5 --code 1234", ""},
           {"", "--recepteur Salon", obligatoires},
           {"", "--code 1234", obligatoires},
           {"", "--liste --code 1234", ""},
           {"", "--vers 127.0.0.1:9 --code - </dev/null", "--code - n'a lu aucun code"},
           {"", "--vers 127.0.0.1:9 --code - <" + codeFaux.string(), quatreChiffres},
           {"RAVLO_CODE=12a4", "--vers 127.0.0.1:9", quatreChiffres},
           {"RAVLO_CODE=1234", "--vers 127.0.0.1:9 --code 12a4", quatreChiffres},
           {"RAVLO_CODE=", "--vers 127.0.0.1:9", obligatoires},
           {"RAVLO_CODE=1234", "--vers 127.0.0.1:9 --vers 127.0.0.1:10 --code 1234",
            "il manque celui de « 127.0.0.1:9 »"},
           {"", "--vers 127.0.0.1:9 --code 1234 --vers 127.0.0.1:10 --code 12a4", quatreChiffres},
       }) {
    const Sortie s = lancer(environnement, RAVLO_ENVOI, arguments);
    EXPECT_EQ(s.statut, 2) << environnement << " " << arguments;
    EXPECT_NE(s.texte.find(attendu), std::string::npos)
        << environnement << " " << arguments << " : " << s.texte;
  }
}

TEST_F(RavloEnvoi, LeRefusDitDansLaLangueDeLEnvironnement) {
  for (const char* composant : {"textes", "ravlo-envoi"}) {
    EXPECT_EQ(lancer("", RAVLO_CMAKE,
                     std::string("--install ") + RAVLO_CONSTRUCTION + " --prefix " +
                         dossier.string() + " --component " + composant + " >/dev/null")
                  .statut,
              0)
        << composant;
  }
  const std::string francais =
      "Le récepteur refuse la connexion. Ouvre l'app Ravlo ou lance ravlo-recepteur, puis "
      "réessaie.\n";
  const std::string anglais =
      "The receiver refuses the connection. Open the Ravlo app or start ravlo-recepteur, then "
      "try again.\n";
  // LC_ALL, puis LC_MESSAGES, puis LANG ; une langue sans catalogue lit le français.
  // LANGUAGE, liste de priorité, l'emporte, sauf sous la locale C.
  const std::vector<std::pair<std::string, std::string>> cas{
      {"LANG=fr_FR.UTF-8", francais},
      {"LANG=en_US.UTF-8", anglais},
      {"LANG=fr_FR.UTF-8 LC_MESSAGES=en_GB.UTF-8", anglais},
      {"LC_MESSAGES=fr_FR.UTF-8 LC_ALL=en_US.UTF-8", anglais},
      {"LANG=de_DE.UTF-8", francais},
      {"LANG=fr_FR.UTF-8 LANGUAGE=de:en_GB:fr", anglais},
      {"LANG=en_US.UTF-8 LANGUAGE=fr:en", francais},
      {"LC_ALL=C LANGUAGE=en", francais},
  };
  const auto installe = (dossier / "bin" / "ravlo-envoi").string();
  const std::string refuse = "--vers 127.0.0.1:9 --code 1234";
  for (const std::string& programme : {std::string(RAVLO_ENVOI), installe}) {
    for (const auto& [environnement, attendu] : cas) {
      const Sortie s = lancer(environnement, programme, refuse);
      EXPECT_EQ(s.texte, attendu) << programme << " : " << environnement;
      EXPECT_EQ(s.statut, 1) << programme << " : " << environnement;
    }
  }
  // Sans l'anglais de l'installation, l'installé dit le français : il lit ses catalogues à
  // lui, pas ceux de la construction.
  std::filesystem::remove_all(dossier / "share" / "locale" / "en");
  EXPECT_EQ(lancer("LANG=en_US.UTF-8", installe, refuse).texte, francais);
}

// L'aide des deux programmes, demandée ou après un refus (dit dans la même langue), suit la
// langue de l'environnement ; les noms des options restent.
TEST_F(RavloEnvoi, LAideDesDeuxProgrammesSuitLaLangue) {
  struct Cas {
    std::string environnement;
    std::vector<std::string> attendus;
  };
  const auto anglais = [](const std::string& synopsis, std::vector<std::string> autres = {}) {
    autres.insert(autres.begin(), "usage: " + synopsis);
    return autres;
  };
  for (const auto& [programme, cas] : std::vector<std::pair<std::string, std::vector<Cas>>>{
           {RAVLO_ENVOI,
            {{"LANG=en_US.UTF-8",
              anglais("ravlo-envoi (--vers HOST:PORT | --recepteur NAME) [--code NNNN | --code -]",
                      {"[--nom NAME] [--ton HZ | --wav FILE | --capture [--silencieux]]\n",
                       "--code - reads the code from standard input; without --code, it comes "
                       "from RAVLO_CODE.\n",
                       "--code NNNN shows in ps, to every user of the machine.\n",
                       "Several receivers play the same sound: each one followed by its own "
                       "--code NNNN.\n"})},
             {"LANG=fr_FR.UTF-8",
              {"usage : ravlo-envoi (--vers HOTE:PORT | --recepteur NOM)",
               "--code - lit le code sur l'entrée standard"}}}},
           {RAVLO_RECEPTEUR,
            {{"LANG=en_US.UTF-8",
              anglais("ravlo-recepteur [--nom NAME] [--port PORT] [--code NNNN | --code -]\n",
                      {"[--sortie DEVICE | --wav FILE]\n", "ravlo-recepteur --help | --version"})},
             {"LANG=fr_FR.UTF-8",
              {"usage : ravlo-recepteur [--nom NOM]", "[--sortie PERIPHERIQUE | --wav FICHIER]"}}}},
       }) {
    for (const auto& [environnement, attendus] : cas) {
      for (const std::string arguments : {"--help", "-h", "--inconnue 1"}) {
        SCOPED_TRACE(programme + " " + arguments + " sous " + environnement);
        const Sortie s = lancer(environnement, programme, arguments);
        EXPECT_EQ(s.statut, arguments == "--inconnue 1" ? 2 : 0);
        if (arguments == "--inconnue 1") {
          EXPECT_TRUE(s.texte.starts_with(environnement.starts_with("LANG=en")
                                              ? "Unknown option: --inconnue.\n"
                                              : "Option inconnue : --inconnue.\n"))
              << s.texte;
        }
        for (const std::string& attendu : attendus)
          EXPECT_NE(s.texte.find(attendu), std::string::npos) << attendu << "\n" << s.texte;
      }
    }
  }
}

// Un récepteur en pause contre les essais en série, sur la boucle locale : chaque `debut`
// reçoit aussitôt `refus`.
class RecepteurEnPause {
 public:
  RecepteurEnPause() : port_(socket_.local_endpoint().port()) {
    attendre();
    fil_ = std::thread([this] { contexte_.run(); });
  }
  ~RecepteurEnPause() {
    contexte_.stop();
    fil_.join();
  }
  RecepteurEnPause(const RecepteurEnPause&) = delete;
  RecepteurEnPause& operator=(const RecepteurEnPause&) = delete;

  [[nodiscard]] std::uint16_t port() const { return port_; }
  [[nodiscard]] int debuts() const { return debuts_; }

 private:
  void attendre() {
    socket_.async_receive_from(asio::buffer(recu_), de_, [this](std::error_code e, std::size_t n) {
      if (e) return;
      const auto m = MessagePasskey::decoder(VueOctets(recu_.data(), n));
      if (m && m->comme<MessagePasskey::Debut>()) {
        ++debuts_;
        std::error_code ignoree;
        socket_.send_to(asio::buffer(MessagePasskey::refus(m->tentative()).donnees()), de_, 0,
                        ignoree);
      }
      attendre();
    });
  }

  asio::io_context contexte_;
  udp::socket socket_{contexte_, {asio::ip::make_address("127.0.0.1"), 0}};
  std::array<std::uint8_t, 2048> recu_{};
  udp::endpoint de_;
  const std::uint16_t port_;
  std::atomic<int> debuts_{0};
  std::thread fil_;
};

// Refusé avant tout dévoilement, l'appairage échoue (statut 1) sans dire le code faux : le
// récepteur n'a rien pu en juger.
TEST_F(RavloEnvoi, UnRecepteurEnPauseNeDitPasLeCodeFaux) {
  RecepteurEnPause recepteur;
  const std::string vers = "--vers 127.0.0.1:" + std::to_string(recepteur.port()) + " --code 1234";
  for (const auto& [environnement, attendu] : std::vector<std::pair<std::string, std::string>>{
           {"LANG=fr_FR.UTF-8",
            "Le récepteur n'accepte pas d'appairage pour l'instant : il fait une pause après des "
            "codes faux, ou son code fixe a déjà servi. Relance le récepteur pour qu'il affiche "
            "un nouveau code, puis tape-le.\n"},
           {"LANG=en_US.UTF-8",
            "The receiver is not accepting pairing right now: it is pausing after wrong codes, or "
            "its fixed code has already been used. Restart the receiver so that it shows a new "
            "code, then type it.\n"}}) {
    const Sortie s = lancer(environnement, RAVLO_ENVOI, vers);
    EXPECT_EQ(s.texte, attendu) << environnement;
    EXPECT_EQ(s.statut, 1) << environnement;
  }
  EXPECT_GE(recepteur.debuts(), 2) << "chaque essai a reçu son refus";
}

// Un signal de fin, pendant l'appairage (un récepteur muet) ou pendant l'envoi, se lit :
// l'envoi s'arrête de lui-même (130 avant l'appairage, 0 après : l'utilisateur l'a voulu) et
// écrit ses compteurs. Tué par le signal, il finirait sur ce signal, sans rien écrire.
TEST_F(RavloEnvoi, UnSignalDeFinArreteProprement) {
  asio::io_context contexte;
  udp::socket muet(contexte, udp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
  for (const auto& [signal, pendantLEnvoi, statut] : std::vector<std::tuple<int, bool, int>>{
           {SIGINT, false, 130}, {SIGTERM, false, 130}, {SIGHUP, true, 0}, {SIGINT, true, 0}}) {
    SCOPED_TRACE(std::to_string(signal) + (pendantLEnvoi ? " pendant l'envoi" : " avant"));
    const auto stats = dossier / "e.json";
    std::filesystem::remove(stats);
    std::optional<boucle::RecepteurLance> recepteur;
    std::vector<std::string> arguments{RAVLO_ENVOI,
                                       "--stats",
                                       stats.string(),
                                       "--code",
                                       "1234",
                                       "--vers",
                                       "127.0.0.1:" + std::to_string(muet.local_endpoint().port())};
    if (pendantLEnvoi) {
      recepteur.emplace(std::vector<std::string>{"--wav", (dossier / "sortie.wav").string()});
      arguments[4] = recepteur->code;
      arguments[6] = "127.0.0.1:" + std::to_string(recepteur->port);
    }
    essai::Processus envoi(arguments);
    if (pendantLEnvoi) {
      ASSERT_TRUE(recepteur->attendrePaquets(1)) << "l'envoi a commencé";
    } else {
      std::array<std::uint8_t, 2048> recu{};
      ASSERT_GT(muet.receive(asio::buffer(recu)), 0u) << "le dialogue a commencé";
    }
    envoi.tuer(signal);
    EXPECT_EQ(envoi.attendre(), statut) << "un code de sortie, et non la mort par le signal";
    std::ifstream lu(stats);
    const std::string json((std::istreambuf_iterator<char>(lu)), std::istreambuf_iterator<char>());
    if (pendantLEnvoi) {
      EXPECT_NE(json.find("\"raison\": \"interrompu\""), std::string::npos) << json;
    }
  }
}

// Un fichier envoyé à trois récepteurs. Le troisième s'arrête en route : l'envoi le dit et
// continue. Les deux autres écrivent chacun le fichier à l'échantillon près, et commencent au
// même endroit du fichier, à un paquet (320 trames) près ; l'envoi finit au bout du fichier.
TEST_F(RavloEnvoi, PlusieursRecepteursJouentLeMemeFichier) {
  std::vector<std::int16_t> entree(2 * 48'000 * 6);
  std::mt19937 alea(11);
  for (auto& e : entree) e = static_cast<std::int16_t>(1 + alea() % 30'000);  // jamais nul
  const auto fichier = (dossier / "entree.wav").string();
  {
    std::ofstream f(fichier, std::ios::binary);
    const Octets entete = FichierWav::entete(static_cast<std::uint32_t>(entree.size() * 2));
    f.write(reinterpret_cast<const char*>(entete.data()),
            static_cast<std::streamsize>(entete.size()));
    f.write(reinterpret_cast<const char*>(entree.data()),
            static_cast<std::streamsize>(entree.size() * 2));
  }
  const std::array<std::string, 2> sorties{(dossier / "a.wav").string(),
                                           (dossier / "b.wav").string()};
  boucle::RecepteurLance a({"--wav", sorties[0], "--code", "1357"});
  boucle::RecepteurLance b({"--wav", sorties[1], "--code", "2468"});
  boucle::RecepteurLance part({"--wav", "/dev/null", "--code", "3579"});
  ASSERT_TRUE(a.port != 0 && b.port != 0 && part.port != 0);
  const auto vers = [](const boucle::RecepteurLance& r) {
    return "127.0.0.1:" + std::to_string(r.port);
  };
  const auto stats = dossier / "e.json";
  Sortie envoi;
  std::thread fil([&] {
    envoi = lancer("", RAVLO_ENVOI,
                   "--wav " + fichier + " --stats " + stats.string() + " --vers " + vers(a) +
                       " --code 1357 --vers " + vers(b) + " --code 2468 --vers " + vers(part) +
                       " --code 3579");
  });
  const bool joue = part.attendrePaquets(1);
  EXPECT_EQ(part.arreter(), 0);  // SIGTERM : la fin part vers l'émetteur
  fil.join();
  ASSERT_TRUE(joue);
  EXPECT_EQ(envoi.statut, 0) << envoi.texte;
  EXPECT_NE(envoi.texte.find(vers(part) +
                             " a arrêté la lecture ; l'envoi continue vers les autres récepteurs."),
            std::string::npos)
      << envoi.texte;
  const auto j = nlohmann::json::parse(std::ifstream(stats), nullptr, false);
  EXPECT_EQ(j["raison"], "finDuFichier");
  ASSERT_EQ(j["recepteurs"].size(), 3u) << j.dump();
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const auto& r = j["recepteurs"][i];
    EXPECT_EQ(r["vers"], vers(i == 0 ? a : i == 1 ? b : part));
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
  for (const auto& chemin : sorties) {
    EXPECT_TRUE(essai::attendreQue([&] {
      const auto e = essai::echantillons(chemin, 44);
      std::size_t zeros = 0;
      while (zeros < e.size() && e[e.size() - 1 - zeros] == 0) ++zeros;
      return zeros >= 2 * 480 && zeros < e.size();
    })) << chemin;
  }
  EXPECT_EQ(a.arreter(), 0);
  EXPECT_EQ(b.arreter(), 0);
  // Où chaque fichier commence dépend de l'heure de son premier rendu (l'excédent d'une
  // rafale est rogné à l'amorce) ; où il finit, non : les deux pièces ont reçu le même flux.
  std::array<std::ptrdiff_t, 2> fins{};
  for (std::size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(sorties[i]);
    const auto sortie = essai::echantillons(sorties[i], 44);
    std::size_t debut = 0;
    while (debut < sortie.size() && sortie[debut] == 0) ++debut;
    std::size_t fin = sortie.size();
    while (fin > debut && sortie[fin - 1] == 0) --fin;
    ASSERT_GT(fin - debut, entree.size() / 2) << "au moins la moitié du fichier jouée";
    const auto premier = std::search(entree.begin(), entree.end(),
                                     sortie.begin() + static_cast<std::ptrdiff_t>(debut),
                                     sortie.begin() + static_cast<std::ptrdiff_t>(debut + 64));
    ASSERT_NE(premier, entree.end()) << "le début du son n'est pas dans le fichier envoyé";
    fins[i] = (premier - entree.begin()) + static_cast<std::ptrdiff_t>(fin - debut);
    // Jusqu'au fondu qui éteint la fin.
    const auto n = fin - debut - 2 * FileLecture::tramesFondu;
    ASSERT_LE(n, static_cast<std::size_t>(entree.end() - premier));
    EXPECT_TRUE(std::equal(sortie.begin() + static_cast<std::ptrdiff_t>(debut),
                           sortie.begin() + static_cast<std::ptrdiff_t>(debut + n), premier))
        << "une suite du fichier, à l'échantillon près";
  }
  EXPECT_LE(std::abs(fins[0] - fins[1]), 2 * 320) << "au même paquet";
}

// ravlo-envoi lancé, ses deux sorties mêlées dans un tube lu ligne à ligne ; SIGTERM à la
// destruction.
class EnvoiLance {
 public:
  explicit EnvoiLance(std::vector<std::string> arguments) {
    int tube[2] = {-1, -1};
    if (::pipe2(tube, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, tube[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, tube[1], STDERR_FILENO);
    std::vector<char*> argv;
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(tube[1]);
    sortie_ = tube[0];
  }
  ~EnvoiLance() {
    arreter(SIGTERM);
    if (sortie_ >= 0) ::close(sortie_);
  }
  EnvoiLance(const EnvoiLance&) = delete;
  EnvoiLance& operator=(const EnvoiLance&) = delete;

  /// La prochaine ligne qui contient `morceau` ; vide à la fin de la sortie ou passé `delai`.
  std::string attendre(const std::string& morceau, std::chrono::nanoseconds delai) {
    const auto echeance = std::chrono::steady_clock::now() + delai;
    std::string ligne;
    for (char c = 0;;) {
      const auto reste = std::chrono::duration_cast<std::chrono::milliseconds>(
          echeance - std::chrono::steady_clock::now());
      pollfd p{sortie_, POLLIN, 0};
      if (reste.count() <= 0 || ::poll(&p, 1, static_cast<int>(reste.count())) <= 0 ||
          ::read(sortie_, &c, 1) != 1)
        return {};
      if (c != '\n') {
        ligne += c;
      } else if (ligne.find(morceau) != std::string::npos) {
        return ligne;
      } else {
        ligne.clear();
      }
    }
  }

  int arreter(int signal) {
    if (pid_ <= 0) return statut_;
    ::kill(pid_, signal);
    int s = 0;
    while (::waitpid(pid_, &s, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    statut_ = WIFEXITED(s) ? WEXITSTATUS(s) : -WTERMSIG(s);
    return statut_;
  }

 private:
  pid_t pid_ = -1;
  int sortie_ = -1;
  int statut_ = -1;
};

std::string vers(const boucle::RecepteurLance& r) {
  return "127.0.0.1:" + std::to_string(r.port);
}

// Les paquets reçus que dit la prochaine ligne d'état du récepteur, celles déjà écrites
// sautées ; −1 si elle ne dit pas « en lecture » ou n'arrive pas.
long paquetsEnLecture(boucle::RecepteurLance& r) {
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
  boucle::RecepteurLance a({"--wav", "/dev/null"}), b({"--wav", "/dev/null"}),
      c({"--wav", "/dev/null"});
  ASSERT_TRUE(a.port != 0 && b.port != 0 && c.port != 0);
  const auto stats = dossier / "e.json";
  EnvoiLance envoi({RAVLO_ENVOI, "--stats", stats.string(), "--vers", vers(a), "--code", a.code,
                    "--vers", vers(b), "--code", b.code, "--vers", vers(c), "--code", c.code});
  for (auto* r : {&a, &b, &c}) ASSERT_TRUE(r->attendrePaquets(1)) << vers(*r);
  // Muet dès 3 s sans rien d'authentique ; la borne laisse une machine chargée en retard, et
  // reste loin des 30 s au bout desquelles l'envoi renonce à une connexion refusée.
  const auto borne = std::chrono::nanoseconds(SilenceRecepteur::silencieuxNs) + 10s;

  b.signaler(SIGSTOP);
  const long avant = paquetsEnLecture(a);
  EXPECT_NE(envoi.attendre(vers(b) + " se tait", borne), "");
  EXPECT_GT(paquetsEnLecture(a), avant) << "l'envoi continue vers les autres";
  EXPECT_GT(paquetsEnLecture(c), 0);
  const std::string ligne = envoi.attendre("récepteur muet", 5s);
  EXPECT_NE(ligne.find("récepteur muet : " + vers(b)), std::string::npos) << ligne;
  EXPECT_EQ(ligne.find(vers(a)), std::string::npos) << ligne;
  EXPECT_EQ(ligne.find(vers(c)), std::string::npos) << ligne;

  b.signaler(SIGCONT);
  EXPECT_NE(envoi.attendre(vers(b) + " répond de nouveau.", borne), "");

  c.signaler(SIGKILL);
  EXPECT_NE(envoi.attendre(vers(c) + " se tait", borne), "");
  EXPECT_EQ(envoi.arreter(SIGINT), 0);
  const auto j = nlohmann::json::parse(std::ifstream(stats), nullptr, false);
  ASSERT_EQ(j["recepteurs"].size(), 3u) << j.dump();
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(j["recepteurs"][i]["recepteurMuet"], i == 2) << i;
    EXPECT_EQ(j["recepteurs"][i]["fin"], nullptr) << i;
  }
}

// Un autre émetteur s'appaire au récepteur qui joue : le premier s'arrête en nommant celui qui
// a pris le récepteur, et ses compteurs le disent.
TEST_F(RavloEnvoi, UnAutreEmetteurPrendLeRecepteur) {
  boucle::RecepteurLance r({"--wav", "/dev/null"});
  ASSERT_NE(r.port, 0);
  const auto stats = dossier / "e.json";
  EnvoiLance premier({RAVLO_ENVOI, "--stats", stats.string(), "--nom", "Portable", "--vers",
                      vers(r), "--code", r.code});
  const std::string code = r.lire("Code : ");
  ASSERT_EQ(code.size(), 4u) << "le code du prochain appairage";
  ASSERT_TRUE(r.attendrePaquets(1));
  EnvoiLance second({RAVLO_ENVOI, "--nom", "Bureau de Léa", "--secondes", "30", "--vers", vers(r),
                     "--code", code});
  EXPECT_NE(premier.attendre("Bureau de Léa a pris le récepteur.", 20s), "");
  EXPECT_EQ(premier.arreter(SIGTERM), 0) << "déjà fini de lui-même";
  const auto j = nlohmann::json::parse(std::ifstream(stats), nullptr, false);
  EXPECT_EQ(j["raison"], "fin");
  EXPECT_EQ(j["recepteurs"][0]["prisPar"], "Bureau de Léa") << j.dump();
}

}  // namespace
}  // namespace ravlo
