// Contre un vrai démon PulseAudio, lancé par scripts/services/pulseaudio avec une sortie
// nulle « speakers » : jamais une vraie carte son.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "e2e/outils_pulse.hpp"
#include "link/capture/system_audio_tap.hpp"
#include "link/plateforme/pulseaudio/plateforme_pulse.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using essai::Mesure;

constexpr double amplitude = 0.5;
const double rmsDuTon = amplitude / std::sqrt(2.0);  // −9 dBFS
constexpr InstantNs ms = 1'000'000;

/// Un bloc de 320 trames sorti de l'anneau, avec son heure de capture et l'heure de lecture.
struct Bloc {
  std::optional<InstantNs> captureNs;
  InstantNs luNs = 0;
  std::vector<std::int16_t> echantillons;
};

/// Vide l'anneau en blocs de 1280 octets, sur son propre fil, au fil de l'eau.
class Vidange {
 public:
  explicit Vidange(std::shared_ptr<TamponAudio> tampon) : tampon_(std::move(tampon)) {
    fil_ = std::thread([this] {
      while (!fin_.load()) {
        while (auto lu = tampon_->lire(1280)) {
          Bloc b{lu->captureNs, hoteNs(), std::vector<std::int16_t>(640)};
          std::memcpy(b.echantillons.data(), lu->octets.data(), 1280);
          std::lock_guard garde(verrou_);
          blocs_.push_back(std::move(b));
        }
        std::this_thread::sleep_for(1ms);
      }
    });
  }
  ~Vidange() { arreter(); }
  void arreter() {
    fin_ = true;
    if (fil_.joinable()) fil_.join();
  }
  std::vector<Bloc> blocs() const {
    std::lock_guard garde(verrou_);
    return blocs_;
  }
  std::vector<Mesure> niveaux() const {
    std::vector<Mesure> m;
    for (const Bloc& b : blocs()) m.push_back({b.luNs, essai::rms(b.echantillons.data(), 640)});
    return m;
  }

 private:
  std::shared_ptr<TamponAudio> tampon_;
  std::atomic<bool> fin_ = false;
  std::thread fil_;
  mutable std::mutex verrou_;
  std::vector<Bloc> blocs_;
};

class DemonPulse : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!essai::demonDEssai()) {
      GTEST_SKIP() << "pas de démon PulseAudio d'essai (PULSE_SERVER et RAVLO_PULSE_ESSAI) : "
                      "lancer par scripts/test, ou « bash scripts/services/pulseaudio avec ctest "
                      "--preset dev -L pulseaudio »";
    }
    ASSERT_TRUE(essai::sortiesRavlo().empty()) << "un test précédent a laissé une sortie";
    ASSERT_EQ(essai::puitsParDefaut(), "speakers");
    char modele[] = "/tmp/ravlo-etat.XXXXXX";
    ASSERT_NE(::mkdtemp(modele), nullptr);
    repertoire_ = modele;
    etat_ = repertoire_ + "/etat";
    std::filesystem::create_directory(etat_);
    ton_ = essai::ecrireTon(repertoire_ + "/ton.raw", 1000, 10, amplitude);
  }
  void TearDown() override {
    if (!repertoire_.empty()) std::filesystem::remove_all(repertoire_);
  }

  // Attend que la capture livre (le moniteur d'une sortie au repos tarde jusqu'à ~1,5 s).
  static bool attendreTrames(const SystemAudioTap& tap, std::int64_t trames) {
    for (int i = 0; i < 400 && tap.livraisons().trames < trames; ++i)
      std::this_thread::sleep_for(10ms);
    return tap.livraisons().trames >= trames;
  }

  // Tout est-il revenu : plus de sortie « Ravlo Link », « speakers » par défaut ?
  static void verifierRemisEnPlace() {
    EXPECT_TRUE(essai::sortiesRavlo().empty());
    EXPECT_EQ(essai::puitsParDefaut(), "speakers");
  }

  std::string repertoire_;
  std::string etat_;  // fichiers d'état du silence
  std::string ton_;
};

// Un ton de 1 kHz à −9 dBFS joué sur la sortie par défaut arrive dans l'anneau au même
// niveau et à la même fréquence, avec des heures de capture qui avancent au rythme des octets
// et restent près de l'horloge de l'hôte.
TEST_F(DemonPulse, UnTonJoueArriveDansLAnneauAuBonNiveauEtALaBonneHeure) {
  auto tampon = std::make_shared<TamponAudio>(192'000);
  auto plateforme = std::make_shared<PlateformePulse>(etat_);
  SystemAudioTap tap(tampon, false, plateforme);
  const auto demarrage = tap.demarrer();
  ASSERT_TRUE(demarrage.has_value()) << demarrage.error().description();
  EXPECT_EQ(tap.formatCapture().frequence, 48'000.0);
  Vidange vidange(tampon);
  ASSERT_TRUE(attendreTrames(tap, 1));

  essai::commande("head -c 384000 " + ton_ + " > " + repertoire_ + "/ton2s.raw");
  auto joueur = essai::jouer(repertoire_ + "/ton2s.raw", 20);
  EXPECT_EQ(joueur->attendre(), 0);
  std::this_thread::sleep_for(300ms);
  tap.arreter();
  vidange.arreter();

  const auto blocs = vidange.blocs();
  std::vector<std::size_t> actifs;
  for (std::size_t i = 0; i < blocs.size(); ++i) {
    if (essai::rms(blocs[i].echantillons.data(), 640) > rmsDuTon / 2) actifs.push_back(i);
  }
  // 2 s = 300 blocs ; les bords d'attaque et de fin sont exclus ensuite.
  ASSERT_GE(actifs.size(), 295u);
  ASSERT_LE(actifs.size(), 302u);
  const std::size_t premier = actifs.front() + 5;
  const std::size_t dernier = actifs.back() - 5;
  ASSERT_EQ(dernier - premier, actifs.size() - 11) << "le ton arrive d'un seul tenant";

  std::int64_t passages = 0;
  std::int16_t precedent = blocs[premier].echantillons[0];
  int ruptures = 0;
  for (std::size_t i = premier; i <= dernier; ++i) {
    const Bloc& b = blocs[i];
    EXPECT_NEAR(essai::rms(b.echantillons.data(), 640), rmsDuTon, 0.01) << "bloc " << i;
    for (std::size_t k = 0; k < 640; k += 2) {
      if ((precedent < 0) != (b.echantillons[k] < 0)) ++passages;
      precedent = b.echantillons[k];
    }
    ASSERT_TRUE(b.captureNs.has_value());
    // L'heure de capture précède de peu (ou suit de peu : le moniteur calcule d'avance)
    // l'écriture, qui précède la lecture d'au plus quelques millisecondes.
    EXPECT_LT(std::abs(ecartSigneNs(b.luNs, *b.captureNs)), 50 * static_cast<std::int64_t>(ms));
    if (i > premier) {
      const std::int64_t pas = ecartSigneNs(*b.captureNs, *blocs[i - 1].captureNs);
      if (std::abs(pas - TamponAudio::dureeNs(1280)) > 1) ++ruptures;
    }
  }
  const double secondes = static_cast<double>(dernier - premier + 1) * 320 / 48'000;
  EXPECT_NEAR(static_cast<double>(passages) / 2 / secondes, 1000.0, 2.0);
  EXPECT_EQ(ruptures, 0) << "un flux régulier reste dans un seul segment";
  EXPECT_EQ(tampon->perdus(), 0);
  verifierRemisEnPlace();
}

// Niveaux en dBFS d'une suite de mesures.
double plusFort(const std::vector<Mesure>& m) {
  double r = 0;
  for (const Mesure& x : m) r = std::max(r, x.rms);
  return r;
}
double plusFaible(const std::vector<Mesure>& m) {
  double r = 1;
  for (const Mesure& x : m) r = std::min(r, x.rms);
  return r;
}
constexpr double moins100dBFS = 1e-5;

// Silencieuse, la capture garde le ton pendant que les haut-parleurs se taisent ; le
// silence se lève et revient en cours de route ; l'arrêt remet tout en place.
TEST_F(DemonPulse, LeSilenceTaitLesHautParleursSansTaireLaCapture) {
  // Une sortie nulle au repos a calculé 2 s de silence d'avance : un flux qui la rejoint
  // sort après, et garde ce retard quand on le déplace. On attend donc qu'elle soit à
  // l'heure (premières données du moniteur) avant de jouer.
  essai::Enregistreur hautParleurs("speakers.monitor");
  ASSERT_TRUE(hautParleurs.pret());
  ASSERT_TRUE(hautParleurs.attendreDonnees());
  auto joueur = essai::jouer(ton_, 100);
  const std::string entree = essai::nouvelleEntree({});
  ASSERT_FALSE(entree.empty());
  std::this_thread::sleep_for(500ms);

  auto tampon = std::make_shared<TamponAudio>(192'000);
  SystemAudioTap tap(tampon, true, std::make_shared<PlateformePulse>(etat_));
  const auto demarrage = tap.demarrer();
  ASSERT_TRUE(demarrage.has_value()) << demarrage.error().description();
  Vidange vidange(tampon);
  const InstantNs t0 = hoteNs();
  ASSERT_EQ(essai::sortiesRavlo().size(), 1u);
  EXPECT_EQ(essai::puitsParDefaut(), essai::sortiesRavlo()[0]);
  EXPECT_EQ(essai::sortieDe(entree), essai::sortiesRavlo()[0]);
  std::this_thread::sleep_for(1500ms);

  const InstantNs t1 = hoteNs();
  ASSERT_TRUE(tap.changerSilence(false));
  EXPECT_TRUE(essai::sortiesRavlo().empty());
  EXPECT_EQ(essai::sortieDe(entree), "speakers");
  std::this_thread::sleep_for(1500ms);

  const InstantNs t2 = hoteNs();
  ASSERT_TRUE(tap.changerSilence(true));
  EXPECT_EQ(essai::sortieDe(entree), essai::sortiesRavlo().at(0));
  std::this_thread::sleep_for(1500ms);
  const InstantNs t3 = hoteNs();
  tap.arreter();
  vidange.arreter();
  hautParleurs.arreter();
  verifierRemisEnPlace();
  EXPECT_EQ(essai::sortieDe(entree), "speakers");

  // Marge de 400 ms après chaque bascule : latences des deux enregistrements.
  const InstantNs marge = 400 * ms;
  const auto hp = hautParleurs.mesures();
  const auto capte = vidange.niveaux();
  ASSERT_FALSE(essai::entre(hp, t0 + marge, t1).empty());
  EXPECT_LE(plusFort(essai::entre(hp, t0 + marge, t1)), moins100dBFS);
  EXPECT_GE(plusFaible(essai::entre(hp, t1 + marge, t2)), rmsDuTon * 0.95);
  EXPECT_LE(plusFort(essai::entre(hp, t2 + marge, t3)), moins100dBFS);
  for (const auto& [debut, fin] : {std::pair{t0 + marge, t1}, {t1 + marge, t2}, {t2 + marge, t3}}) {
    const auto m = essai::entre(capte, debut, fin);
    ASSERT_GE(m.size(), 100u);
    EXPECT_GE(plusFaible(m), rmsDuTon * 0.95);

    EXPECT_LE(plusFort(m), rmsDuTon * 1.05);
  }
}

// Une sortie « casque » à côté de « speakers » : le flux qui y était attaché revient au
// casque, celui qui suivait la sortie par défaut revient aux haut-parleurs.
TEST_F(DemonPulse, LArretRendChaqueFluxASaSortie) {
  const std::string module =
      essai::commande("pactl load-module module-null-sink sink_name=casque rate=48000");
  ASSERT_FALSE(module.empty());
  const std::string index = module.substr(0, module.find('\n'));
  auto surDefaut = essai::jouer(ton_, 20);
  const std::string a = essai::nouvelleEntree({});
  auto surCasque = essai::jouer(ton_, 20, "casque");
  const std::string b = essai::nouvelleEntree({a});
  ASSERT_FALSE(a.empty());
  ASSERT_FALSE(b.empty());
  ASSERT_EQ(essai::sortieDe(b), "casque");
  // « speakers » sous PulseAudio ; PipeWire met parfois un flux sans sortie nommée sur la
  // dernière sortie créée. Ce qui compte : chacun revient où il était.
  const std::string origineA = essai::sortieDe(a);

  auto tampon = std::make_shared<TamponAudio>(96'000);
  {
    SystemAudioTap tap(tampon, true, std::make_shared<PlateformePulse>(etat_));
    ASSERT_TRUE(tap.demarrer().has_value());
    const auto ravlo = essai::sortiesRavlo();
    ASSERT_EQ(ravlo.size(), 1u);
    EXPECT_EQ(essai::sortieDe(a), ravlo[0]);
    EXPECT_EQ(essai::sortieDe(b), ravlo[0]);
    // La destruction arrête la capture.
  }
  verifierRemisEnPlace();
  EXPECT_EQ(essai::sortieDe(a), origineA);
  EXPECT_EQ(essai::sortieDe(b), "casque");
  surDefaut.reset();
  surCasque.reset();
  essai::commande("pactl unload-module " + index);
}

// Une sortie « casque » branchée puis retirée : le bureau en fait la sortie par défaut et y
// déplace le lecteur, puis le serveur rend tout aux haut-parleurs ; le ton capté continue.
TEST_F(DemonPulse, LaCaptureSuitLaSortieParDefaut) {
  const std::string casque =
      essai::commande("pactl load-module module-null-sink sink_name=casque rate=48000");
  ASSERT_FALSE(casque.empty());
  auto joueur = essai::jouer(ton_, 100);
  const std::string entree = essai::nouvelleEntree({});
  ASSERT_FALSE(entree.empty());
  auto tampon = std::make_shared<TamponAudio>(192'000);
  SystemAudioTap tap(tampon, false, std::make_shared<PlateformePulse>(etat_));
  ASSERT_TRUE(tap.demarrer().has_value());
  Vidange vidange(tampon);
  ASSERT_TRUE(attendreTrames(tap, 4'800));

  essai::commande("pactl set-default-sink casque && pactl move-sink-input " + entree + " casque");
  const InstantNs t1 = hoteNs();
  std::this_thread::sleep_for(1500ms);
  const InstantNs t2 = hoteNs();
  essai::commande("pactl unload-module " + casque.substr(0, casque.find('\n')));
  std::this_thread::sleep_for(1500ms);
  const InstantNs t3 = hoteNs();
  EXPECT_FALSE(tap.echec().has_value()) << "relevée par les haut-parleurs";
  tap.arreter();
  vidange.arreter();
  verifierRemisEnPlace();
  for (const auto& [debut, fin] : {std::pair{t1 + 400 * ms, t2}, {t2 + 400 * ms, t3}}) {
    const auto m = essai::entre(vidange.niveaux(), debut, fin);
    ASSERT_GE(m.size(), 100u);
    EXPECT_GE(plusFaible(m), rmsDuTon * 0.95);
  }
}

// Silencieuse, quand le bureau bascule vers un casque : notre sortie nulle redevient la
// sortie par défaut et le lecteur y revient. Puis un tiers décharge notre sortie nulle : la
// capture, tuée par le serveur, le dit.
TEST_F(DemonPulse, LeSilenceSuitLaSortieParDefautEtSaPerteEstSignalee) {
  const std::string casque =
      essai::commande("pactl load-module module-null-sink sink_name=casque rate=48000");
  ASSERT_FALSE(casque.empty());
  auto joueur = essai::jouer(ton_, 100);
  const std::string entree = essai::nouvelleEntree({});
  auto tampon = std::make_shared<TamponAudio>(192'000);
  SystemAudioTap tap(tampon, true, std::make_shared<PlateformePulse>(etat_));
  ASSERT_TRUE(tap.demarrer().has_value());
  Vidange vidange(tampon);
  const std::string notre = essai::sortiesRavlo().at(0);

  essai::commande("pactl set-default-sink casque && pactl move-sink-input " + entree + " casque");
  for (int i = 0; i < 200 && essai::sortieDe(entree) != notre; ++i)
    std::this_thread::sleep_for(10ms);
  EXPECT_EQ(essai::sortieDe(entree), notre);
  EXPECT_EQ(essai::puitsParDefaut(), notre);
  // Une sortie nulle au repos retarde jusqu'à 2 s un flux qui la rejoint : on attend 300 ms
  // de ton sans faille, 4 s au plus.
  bool tonCapte = false;
  for (int i = 0; i < 40 && !tonCapte; ++i) {
    std::this_thread::sleep_for(100ms);
    const auto m = essai::entre(vidange.niveaux(), hoteNs() - 300 * ms, hoteNs());
    tonCapte = m.size() >= 30 && plusFaible(m) >= rmsDuTon * 0.95;
  }
  EXPECT_TRUE(tonCapte);
  EXPECT_FALSE(tap.echec().has_value());

  for (const std::string& ligne : essai::lignes(essai::commande("pactl list short modules"))) {
    if (ligne.find("sink_name=" + notre) != std::string::npos)
      essai::commande("pactl unload-module " + ligne.substr(0, ligne.find('\t')));
  }
  for (int i = 0; i < 200 && !tap.echec(); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_TRUE(tap.echec().has_value());
  tap.arreter();
  essai::commande("pactl set-default-sink speakers && pactl unload-module " +
                  casque.substr(0, casque.find('\n')));
  verifierRemisEnPlace();
}

// Un programme tué net pendant qu'il faisait taire l'ordinateur laisse sa sortie nulle
// par défaut ; le démarrage suivant la retire et remet sortie par défaut et flux.
TEST_F(DemonPulse, UnSilenceLaisseParUnProgrammeTueEstDefaitAuDemarrageSuivant) {
  const std::string module =
      essai::commande("pactl load-module module-null-sink sink_name=casque rate=48000");
  const std::string index = module.substr(0, module.find('\n'));
  auto surDefaut = essai::jouer(ton_, 20);
  const std::string a = essai::nouvelleEntree({});
  auto surCasque = essai::jouer(ton_, 20, "casque");
  const std::string b = essai::nouvelleEntree({a});
  ASSERT_FALSE(b.empty());
  ASSERT_EQ(essai::sortieDe(b), "casque");
  const std::string origineA = essai::sortieDe(a);

  essai::Processus tenir({RAVLO_TENIR_CAPTURE, etat_}, true);
  ASSERT_TRUE(tenir.lance());
  ASSERT_EQ(tenir.ligne(), "pret");
  tenir.tuer(SIGKILL);
  const auto restes = essai::sortiesRavlo();
  ASSERT_EQ(restes.size(), 1u) << "le module survit au programme";
  EXPECT_EQ(essai::puitsParDefaut(), restes[0]);
  EXPECT_EQ(essai::sortieDe(b), restes[0]);

  auto tampon = std::make_shared<TamponAudio>(96'000);
  SystemAudioTap tap(tampon, false, std::make_shared<PlateformePulse>(etat_));
  const auto demarrage = tap.demarrer();
  ASSERT_TRUE(demarrage.has_value()) << demarrage.error().description();
  verifierRemisEnPlace();
  EXPECT_EQ(essai::sortieDe(a), origineA);
  EXPECT_EQ(essai::sortieDe(b), "casque");
  EXPECT_TRUE(std::filesystem::is_empty(etat_)) << "fichier d'état effacé";
  // Et la capture écoute bien les haut-parleurs rendus.
  EXPECT_TRUE(attendreTrames(tap, 48'000));
  tap.arreter();
  surDefaut.reset();
  surCasque.reset();
  essai::commande("pactl unload-module " + index);
}

// Les trois fils d'une capture réelle ensemble : le fil de la boucle de PulseAudio (rappel),
// un lecteur des cellules (l'interface), et le fil principal qui bascule le silence puis
// arrête. Sous ThreadSanitizer aussi, avec un seul lien à libpulse dans le processus : entre
// deux liens, ThreadSanitizer voit des courses dans la mémoire partagée de libpulse, qu'il ne
// sait pas suivre.
class ConcurrenceDemonPulse : public DemonPulse {};

TEST_F(ConcurrenceDemonPulse, LecturesDesCellulesPendantBasculesEtArret) {
  auto tampon = std::make_shared<TamponAudio>(96'000);
  SystemAudioTap tap(tampon, false, std::make_shared<PlateformePulse>(etat_));
  ASSERT_TRUE(tap.demarrer().has_value());
  ASSERT_TRUE(attendreTrames(tap, 1));
  auto joueur = essai::jouer(ton_, 100);
  ASSERT_FALSE(essai::nouvelleEntree({}).empty());
  std::atomic<bool> fin = false;
  std::atomic<int> lectures = 0;
  std::thread interface([&] {
    while (!fin.load()) {
      const Livraisons l = tap.livraisons();
      EXPECT_LE(tap.niveauDuBloc(), 1.0f);
      EXPECT_GE(l.trames, 0);
      tampon->jeter(1 << 20);
      ++lectures;
      std::this_thread::sleep_for(1ms);
    }
  });
  ASSERT_TRUE(attendreTrames(tap, 4800));
  EXPECT_TRUE(tap.changerSilence(true));
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(tap.changerSilence(false));
  std::this_thread::sleep_for(300ms);
  const Livraisons avant = tap.livraisons();
  tap.arreter();
  fin = true;
  interface.join();
  EXPECT_GT(lectures.load(), 10);
  EXPECT_GT(avant.trames, 4800 + 24'000) << "la capture a livré pendant les bascules";
  verifierRemisEnPlace();
}

// Chaque changement de la sortie réveille le suivi, qui attend le serveur boucle relâchée :
// une capture arrêtée et détruite sous ses pieds ne doit rien laisser qu'il touche ensuite.
TEST_F(ConcurrenceDemonPulse, ArreterPendantQueLeSuiviAttendLeServeur) {
  std::atomic<bool> fin = false;
  std::thread volumes([&] {
    for (int i = 0; !fin.load(); ++i) {
      essai::commande("pactl set-sink-volume speakers " + std::string(i % 2 ? "90%" : "100%"));
    }
  });
  int demarrees = 0;
  for (int i = 0; i < 12; ++i) {
    SystemAudioTap tap(std::make_shared<TamponAudio>(96'000), false,
                       std::make_shared<PlateformePulse>(etat_));
    if (tap.demarrer().has_value()) ++demarrees;
    std::this_thread::sleep_for(std::chrono::milliseconds(7 * i));
    tap.arreter();
  }
  fin = true;
  volumes.join();
  essai::commande("pactl set-sink-volume speakers 100%");
  EXPECT_EQ(demarrees, 12);
}

}  // namespace
}  // namespace ravlo
