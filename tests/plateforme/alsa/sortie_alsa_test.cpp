// SPDX-License-Identifier: MPL-2.0
// La sortie ALSA contre une vraie libasound, sur une configuration que l'essai écrit (un `file`
// sur `null`) : aucune carte son n'est nécessaire.
#include "plateforme/alsa/sortie_alsa.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "e2e/outils_pulse.hpp"
#include "faux/attente.hpp"
#include "faux/config_alsa.hpp"
#include "faux/programme_lance.hpp"
#include "recepteur/rendu_lecture.hpp"

namespace ravlo {
namespace {

constexpr std::int64_t grandeur = 32'000;

// La trame `f` du flux envoyé : jamais nulle, unique sur 2 × 32 000 × 32 000 trames.
std::array<std::int16_t, 2> trameEnvoyee(std::int64_t f) {
  return {static_cast<std::int16_t>(f % grandeur + 1),
          static_cast<std::int16_t>(-(f / grandeur + 1))};
}

// Le rang dans le flux envoyé d'une trame jouée.
std::int64_t rang(std::int16_t g, std::int16_t d) {
  return (g - 1) + grandeur * (-d - 1);
}

struct SortieAlsaEssai : ::testing::Test {
  std::filesystem::path dossier =
      std::filesystem::temp_directory_path() / ("ravlo-alsa-" + std::to_string(getpid()));
  std::filesystem::path brut = dossier / "joue.raw";
  void SetUp() override {
    std::filesystem::create_directories(dossier);
    essai::configurerAlsa(dossier, brut);
  }
  void TearDown() override { std::filesystem::remove_all(dossier); }
};

// Le fil de la sortie et celui de l'essai partagent la file et les compteurs : l'essai passe
// aussi sous ThreadSanitizer.
struct ConcurrenceSortieAlsa : SortieAlsaEssai {};

// Une seconde de trames toutes différentes, mise en file avant le départ, passe par le rendu,
// la conversion en 16 bits et libasound : le fichier la reprend à l'échantillon près, chaque
// période datée, sans sous-alimentation. Le rappel retient le fil une fois assez joué : `null`
// prend tout sans attendre, et le fichier grossirait sans fin.
TEST_F(ConcurrenceSortieAlsa, JoueLaFileALEchantillonPres) {
  constexpr std::int64_t paquets = 150;
  constexpr auto tramesParPaquet = static_cast<std::int64_t>(flux::tramesParPaquet);
  // La réserve visée tient toute la seconde : la file amorcée ne rogne rien.
  auto lecture = std::make_shared<FileLecture>(paquets * tramesParPaquet, false);
  RenduLecture rendu(lecture, false);
  for (std::int64_t p = 0; p < paquets; ++p) {
    Octets paquet;
    for (std::int64_t f = p * tramesParPaquet; f < (p + 1) * tramesParPaquet; ++f) {
      for (const std::int16_t e : trameEnvoyee(f))
        paquet.insert(paquet.end(),
                      {static_cast<std::uint8_t>(e), static_cast<std::uint8_t>(e >> 8)});
    }
    lecture->placer(static_cast<std::uint32_t>(p), static_cast<InstantNs>(p) * flux::nsParPaquet,
                    paquet);
  }
  std::atomic<std::int64_t> rendues{0}, sansHeure{0};
  std::atomic<bool> assez{false}, relache{false};
  SortieAlsa sortie("essai");
  ASSERT_EQ(sortie.demarrer([&](std::span<float> bloc, std::optional<InstantNs> h, bool) {
    if (!h) ++sansHeure;
    const bool plein = rendu.rendre(bloc, h, false);
    if ((rendues += static_cast<std::int64_t>(bloc.size() / 2)) >
        (paquets + 10) * tramesParPaquet) {
      assez = true;
      while (!relache) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return plein;
  }),
            std::nullopt);
  EXPECT_EQ(sortie.latenceDemandeeUs(), 20'000u) << "4 périodes de 5 ms, accordées par null";
  ASSERT_TRUE(essai::attendreQue([&] { return assez.load(); }));
  relache = true;
  sortie.arreter();
  EXPECT_EQ(sortie.panne(), std::nullopt);
  EXPECT_EQ(sortie.sousAlimentations(), 0);
  EXPECT_EQ(sansHeure.load(), 0);

  const auto joue = essai::echantillons(brut.string());
  std::size_t debut = 0;
  while (debut + 1 < joue.size() && joue[debut] == 0 && joue[debut + 1] == 0) debut += 2;
  ASSERT_LT(debut + 1, joue.size());
  // La file amorcée rogne ce qui dépasse sa réserve : le son part d'une trame du flux, puis le
  // suit jusqu'au fondu qui éteint le dernier paquet, la file n'ayant rien de plus.
  const std::int64_t premiere = rang(joue[debut], joue[debut + 1]);
  const auto fin = paquets * tramesParPaquet - 2 * FileLecture::tramesFondu;
  ASSERT_GE(premiere, 0);
  ASSERT_LT(premiere, fin - 48'000 / 2) << "moins d'une demi-seconde jouée";
  ASSERT_GE(joue.size(), debut + 2 * static_cast<std::size_t>(fin - premiere));
  for (std::int64_t f = premiere; f < fin; ++f) {
    const std::size_t i = debut + 2 * static_cast<std::size_t>(f - premiere);
    ASSERT_EQ((std::array{joue[i], joue[i + 1]}), trameEnvoyee(f)) << "trame " << f;
  }
}

// Un périphérique qui n'existe pas (nom inconnu, carte illisible) se dit ; le programme le dit
// en une phrase et s'arrête avec 1, sans les plaintes de libasound.
TEST_F(SortieAlsaEssai, UnPeripheriqueAbsentSeDit) {
  for (const char* nom : {"absent", "hw:abc", "essai:trop"}) {
    SCOPED_TRACE(nom);
    SortieAlsa sortie(nom);
    const auto echec =
        sortie.demarrer([](std::span<float>, std::optional<InstantNs>, bool) { return true; });
    ASSERT_TRUE(echec.has_value());
    EXPECT_EQ(echec->cas, ErreurSortie::Cas::peripheriqueIntrouvable) << echec->brut;
    EXPECT_NE(echec->brut.find(nom), std::string::npos) << echec->brut;
  }
  essai::ProgrammeLance r(
      {RAVLO_RECEPTEUR, "--port", "0", "--sortie", "alsa:absent", "--sans-annonce"}, true);
  EXPECT_EQ(r.lire("Lecture impossible : "),
            "ce périphérique ALSA n'existe pas (aplay -L liste ceux de la machine).");
  EXPECT_EQ(r.arreter(0), 1);
  EXPECT_EQ(r.journal.find("ALSA lib"), std::string::npos) << r.journal;
}

// Sur un périphérique qui tient le temps réel : `essai` sur le greffon `pulse` de libasound.
// D'abord la sortie seule, sur un PulseAudio à nous (même sous PipeWire, qui ne rapporte pas ses
// sous-alimentations à ce greffon), dans le dossier de l'essai, tué par son PID puis relancé au
// même endroit : un rendu qui tarde 200 ms, dix fois le tampon, fait manquer le périphérique
// (-EPIPE) ; elle le compte et s'en remet, sans panne. Le serveur tué (SIGKILL) en pleine
// lecture : une panne (périphérique perdu, qui se reprend), pas un plantage ; tant qu'il est
// absent, `demarrer` le dit ; revenu, la sortie rouverte rejoue. Puis, sur le démon d'essai,
// ravlo-recepteur --sortie alsa:… face à ravlo-envoi : le ton de 1 kHz à −6 dBFS arrive dans le
// fichier à sa fréquence et à son niveau, et les statistiques disent le tampon accordé et les
// sous-alimentations comptées.
struct DemonPulseAlsa : SortieAlsaEssai {};

TEST_F(DemonPulseAlsa, LeRecepteurJoueLaSortieSeRattrapeEtSeReprend) {
  if (!essai::demonDEssai()) GTEST_SKIP() << "sans démon PulseAudio d'essai";
  const auto pulse = dossier / "pulse";
  const std::string socket = (pulse / "native").string();
  std::filesystem::create_directories(pulse);
  std::filesystem::permissions(pulse, std::filesystem::perms::owner_all);
  ::setenv("PULSE_RUNTIME_PATH", pulse.c_str(), 1);
  ::setenv("PULSE_STATE_PATH", pulse.c_str(), 1);
  essai::configurerAlsa(dossier, brut, "pulse server \"unix:" + socket + "\" handle_underrun true");
  const auto serveurPrive = [&] {
    std::filesystem::remove(socket);
    auto p = std::make_unique<essai::ProgrammeLance>(std::vector<std::string>{
        "pulseaudio", "--daemonize=no", "-n", "--exit-idle-time=-1", "--use-pid-file=no",
        "--log-target=file:" + (dossier / "journal").string(), "-L",
        "module-native-protocol-unix auth-anonymous=1 socket=" + socket, "-L",
        "module-null-sink sink_name=salon rate=48000 channels=2"});
    EXPECT_TRUE(essai::attendreQue([&] { return std::filesystem::exists(socket); }));
    return p;
  };
  auto serveur = serveurPrive();

  std::atomic<int> rappels{0};
  const auto rappel = [&](std::span<float> bloc, std::optional<InstantNs>, bool) {
    std::ranges::fill(bloc, 0.25F);
    if (++rappels == 50) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return true;
  };
  SortieAlsa sortie("essai");
  // Ouverte dès que le serveur répond, puis jouant cent rappels de plus.
  const auto rejoue = [&] {
    const int avant = rappels.load();
    return essai::attendreQue([&] { return !sortie.demarrer(rappel).has_value(); }) &&
           essai::attendreQue([&] { return rappels.load() > avant + 100; });
  };
  ASSERT_TRUE(rejoue());
  EXPECT_TRUE(essai::attendreQue([&] { return sortie.sousAlimentations() >= 1; }))
      << rappels.load();
  const int apres = rappels.load();
  EXPECT_TRUE(essai::attendreQue([&] { return rappels.load() > apres + 100; }))
      << "la lecture reprend après le trou";
  EXPECT_EQ(sortie.panne(), std::nullopt);

  EXPECT_EQ(serveur->arreter(SIGKILL), -SIGKILL);
  ASSERT_TRUE(essai::attendreQue([&] { return sortie.panne().has_value(); }));
  EXPECT_EQ(sortie.panne()->cas, ErreurSortie::Cas::peripheriquePerdu) << sortie.panne()->brut;
  sortie.arreter();
  const auto refus = sortie.demarrer(rappel);
  ASSERT_TRUE(refus.has_value());
  EXPECT_TRUE(refus->reprenable()) << refus->brut;
  serveur = serveurPrive();
  EXPECT_TRUE(rejoue());
  EXPECT_EQ(sortie.panne(), std::nullopt);
  sortie.arreter();
  serveur.reset();

  essai::configurerAlsa(dossier, brut, "pulse");
  const auto stats = (dossier / "r.json").string();
  essai::RecepteurLance r({"--sortie", "alsa:essai", "--stats", stats, "--code", "2468"});
  essai::ProgrammeLance envoi(
      {RAVLO_ENVOI, "--vers", r.vers(), "--code", "2468", "--ton", "1000", "--secondes", "8"});
  ASSERT_FALSE(r.lire("Appairé avec ").empty()) << r.journal;
  ASSERT_TRUE(r.attendrePaquets(750)) << r.journal;
  EXPECT_EQ(envoi.attendre(), 0);
  EXPECT_EQ(r.arreter(), 0);
  // Voie gauche, une seconde entière à partir de 1, 2 ou 3 s après le premier son : montées par
  // zéro et niveau. Une machine qui cale ouvre un trou dans l'une ; la hauteur et le niveau
  // faux les faussent toutes. Sous ASan et deux constructions, l'enregistrement n'a déjà tenu
  // que 2,77 s des 6 alors envoyées : 8 s partent, 2 au moins doivent sonner.
  const auto e = essai::echantillons(brut.string());
  std::size_t debut = 0;
  while (debut < e.size() && e[debut] == 0) ++debut;
  ASSERT_GT(e.size(), debut + 2 * 2 * 48'000) << "moins de 2 s jouées";
  std::string secondes;
  bool juste = false;
  for (std::size_t k = 1; k <= 3 && debut + (k + 1) * 2 * 48'000 <= e.size() && !juste; ++k) {
    int montees = 0;
    double somme = 0;
    for (std::size_t i = debut + k * 2 * 48'000; i < debut + (k + 1) * 2 * 48'000; i += 2) {
      montees += e[i - 2] < 0 && e[i] >= 0 ? 1 : 0;
      somme += std::pow(e[i] / 32768.0, 2);
    }
    const double dbfs = 10 * std::log10(2 * somme / 48'000);  // de crête
    juste = std::abs(montees - 1000) <= 5 && std::abs(dbfs + 6.0) <= 1.0;
    secondes += std::to_string(montees) + " montées à " + std::to_string(dbfs) + " dBFS ; ";
  }
  EXPECT_TRUE(juste) << secondes;
  const auto j = nlohmann::json::parse(std::ifstream(stats), nullptr, false);
  ASSERT_TRUE(j["latenceSortieMs"].is_number()) << j.dump();
  EXPECT_GE(j["latenceSortieMs"].get<double>(), 5.0);
  EXPECT_TRUE(j["sousAlimentationsSortie"].is_number()) << j.dump();
  EXPECT_EQ(j["erreurSortie"], nullptr) << j.dump() << r.journal;
}

}  // namespace
}  // namespace ravlo
