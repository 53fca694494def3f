// SPDX-License-Identifier: MPL-2.0
// Contre de vrais démons Avahi : ces essais tournent dans l'espace de noms tx (ravlo_ID_tx) que
// scripts/services/avahi a créé, le récepteur dans rx, de l'autre côté de la paire veth.
#include "plateforme/avahi/navigateur_avahi.hpp"

#include <avahi-common/error.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <sys/wait.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "bench/relais/recepteur_lance.hpp"
#include "link/decouverte/chercheur_ravlo.hpp"
#include "plateforme/principal_asio.hpp"
#include "plateforme/systeme.hpp"
#include "protocol/supervision/message_erreur_reseau.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using Cas = ChercheurRavlo::EtatReseau::Cas;

// Les refus d'Avahi et son démon absent deviennent les codes DNS-SD qui ont leur phrase ; le
// reste garde son code.
TEST(ErreurAvahi, RefusEtDemonAbsentDeviennentDesCodesDnssd) {
  using E = ErreurReseau;
  EXPECT_EQ(erreurAvahi(AVAHI_ERR_ACCESS_DENIED),
            (E{DomaineErreurReseau::dnssd, E::dnssdNonAutorise}));
  EXPECT_EQ(erreurAvahi(AVAHI_ERR_NOT_PERMITTED),
            (E{DomaineErreurReseau::dnssd, E::dnssdRefusParPolitique}));
  EXPECT_EQ(erreurAvahi(AVAHI_ERR_NO_DAEMON),
            (E{DomaineErreurReseau::dnssd, E::dnssdServiceAbsent}));
  EXPECT_EQ(erreurAvahi(AVAHI_ERR_DISCONNECTED),
            (E{DomaineErreurReseau::autre, AVAHI_ERR_DISCONNECTED}));
}

// L'outil de scripts/services/avahi, donné par scripts/test.
const char* outil() {
  return std::getenv("RAVLO_AVAHI_OUTIL");
}

// L'adresse de rx et le bout local de la paire, propres à la course (donnés par « dans »).
std::string environnement(const char* nom) {
  const char* valeur = std::getenv(nom);
  return valeur != nullptr ? valeur : "";
}

// Un argument du shell, tel quel : entre apostrophes, chacune des siennes échappée.
std::string cite(const std::string& texte) {
  std::string sortie = "'";
  for (const char c : texte) sortie += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return sortie + "'";
}

void lancer(const std::string& arguments) {
  const std::string commande = std::string(outil()) + " " + arguments;
  ASSERT_EQ(std::system(commande.c_str()), 0) << commande;
}

struct Avahi : ::testing::Test {
  void SetUp() override {
    if (outil() == nullptr)
      GTEST_SKIP() << "à lancer par scripts/test, dans l'espace de noms tx qu'il crée";
  }
  void TearDown() override {
    if (outil() != nullptr)
      for (const auto& nom : publies) lancer("retirer " + cite(nom));
  }

  void publier(const std::string& nom, std::uint16_t port) {
    lancer("publier " + cite(nom) + " " + std::to_string(port));
    publies.push_back(nom);
  }

  // Fait tourner le fil principal jusqu'à ce que `condition` tienne, `borne` au plus.
  bool attendreQue(const std::function<bool()>& condition,
                   std::chrono::steady_clock::duration borne = 10s) {
    const auto fin = std::chrono::steady_clock::now() + borne;
    bool tenue = condition();
    if (tenue) return true;
    auto m = principal.repeter(10ms, 5ms, [&] {
      tenue = condition();
      if (tenue || std::chrono::steady_clock::now() > fin) principal.arreter();
    });
    principal.executer();
    return tenue;
  }

  const ChercheurRavlo::Appareil* trouver(const std::string& nom) const {
    for (const auto& a : chercheur->appareils())
      if (a.nom == nom) return &a;
    return nullptr;
  }

  PrincipalAsio principal;
  std::shared_ptr<ChercheurRavlo> chercheur = ChercheurRavlo::creer(
      ChercheurRavlo::dependancesSysteme(principal, std::make_shared<FabriqueNavigateursAvahi>()));
  std::vector<std::string> publies;
};

TEST_F(Avahi, RecepteurListeAvecSonAdressePuisRetire) {
  chercheur->demarrer();
  ASSERT_TRUE(attendreQue([&] { return chercheur->etatReseau().cas == Cas::actif; }));
  publier("Salon à l'étage", 50'123);
  ASSERT_TRUE(attendreQue([&] { return trouver("Salon à l'étage") != nullptr; }));
  const auto& point = trouver("Salon à l'étage")->point;
  EXPECT_EQ(point.adresse, environnement("RAVLO_AVAHI_ADRESSE_RX"));
  EXPECT_EQ(point.port, 50'123);
  EXPECT_EQ(point.nomService, "Salon à l'étage");
  EXPECT_EQ(point.interface,
            static_cast<int>(if_nametoindex(environnement("RAVLO_AVAHI_INTERFACE").c_str())));

  lancer("retirer " + cite("Salon à l'étage"));
  publies.clear();
  EXPECT_TRUE(attendreQue([&] { return chercheur->appareils().empty(); }));
}

// Le démon du récepteur tué net (aucun adieu), puis relancé avec le récepteur sur un autre
// port : le navigateur ne voit ni retrait ni annonce nouvelle, seul un résolveur resté
// vivant voit le nouveau port.
TEST_F(Avahi, RecepteurRelanceSansAdieuSurUnAutrePortPrendLeNouveau) {
  chercheur->demarrer();
  publier("Chambre", 50'300);
  ASSERT_TRUE(attendreQue([&] { return trouver("Chambre") != nullptr; }));
  const std::string dossier = std::getenv("RAVLO_AVAHI_DIR");
  ASSERT_EQ(std::system(("kill -9 $(cat " + dossier + "/rx-avahi.pid)").c_str()), 0);
  lancer("retirer Chambre");
  // Le démon tué reste zombie un moment : son fichier de PID empêcherait la relance.
  lancer("dans rx rm -f /run/avahi-daemon/pid");
  lancer("relancer-demon rx");
  publier("Chambre", 50'301);
  EXPECT_TRUE(attendreQue([&] {
    const auto* a = trouver("Chambre");
    return a != nullptr && a->point.port == 50'301;
  }));
}

// Le vrai récepteur lancé dans ravlo_rx : le fil qui le lance y entre d'abord, le
// processus en hérite.
std::unique_ptr<boucle::RecepteurLance> recepteurDansRx(const CodeAppairage& code) {
  std::string dossier =
      std::getenv("RAVLO_AVAHI_DIR") ? std::getenv("RAVLO_AVAHI_DIR") : "/tmp/ravlo-avahi";
  std::ifstream fichier(dossier + "/rx.pid");
  int pid = 0;
  fichier >> pid;
  std::unique_ptr<boucle::RecepteurLance> recepteur;
  std::thread([&] {
    const int espace = ::open(("/proc/" + std::to_string(pid) + "/ns/net").c_str(), O_RDONLY);
    if (espace < 0 || ::setns(espace, CLONE_NEWNET) != 0) return;
    ::close(espace);
    recepteur = std::make_unique<boucle::RecepteurLance>(
        std::vector<std::string>{"--code", code.chiffres(), "--wav", "/dev/null"});
  }).join();
  return recepteur;
}

TEST_F(Avahi, AppairageAvecLeRecepteurTrouve) {
  const auto code = *CodeAppairage::depuisSaisie("2468");
  auto recepteur = recepteurDansRx(code);
  ASSERT_NE(recepteur, nullptr) << "impossible d'entrer dans ravlo_rx";
  chercheur->demarrer();
  publier("Cuisine", recepteur->port);
  ASSERT_TRUE(attendreQue([&] { return trouver("Cuisine") != nullptr; }));
  chercheur->appairer(*trouver("Cuisine"), "2468");
  ASSERT_TRUE(attendreQue([&] { return !chercheur->appairageEnCours(); }));
  EXPECT_EQ(chercheur->resultat(),
            (ChercheurRavlo::Resultat{ChercheurRavlo::Resultat::Cas::accepte, "Cuisine", {}}));
  ASSERT_TRUE(chercheur->appaire().has_value());
  EXPECT_FALSE(recepteur->lire("Appairé avec ").empty());
}

TEST_F(Avahi, DemonArreteAttenteDemonRevenuListeRevenue) {
  chercheur->demarrer();
  publier("Bureau", 50'200);
  ASSERT_TRUE(attendreQue([&] { return trouver("Bureau") != nullptr; }));
  ASSERT_EQ(chercheur->etatReseau().cas, Cas::actif);

  lancer("arreter-demon tx");
  ASSERT_TRUE(attendreQue([&] { return chercheur->etatReseau().cas == Cas::attente; }));
  const auto erreur = chercheur->etatReseau().erreur;
  EXPECT_TRUE(erreur == erreurAvahi(AVAHI_ERR_NO_DAEMON) ||
              erreur == erreurAvahi(AVAHI_ERR_DISCONNECTED))
      << chercheur->etatReseau().texte(localeCourante());
  EXPECT_TRUE(chercheur->recherche());

  lancer("relancer-demon tx");
  EXPECT_TRUE(attendreQue(
      [&] { return chercheur->etatReseau().cas == Cas::actif && trouver("Bureau") != nullptr; }));
}

// ravlo-envoi, lancé dans ravlo_tx comme ce test : sa sortie et son statut.
std::pair<std::string, int> envoi(const std::string& arguments) {
  const std::string commande = std::string(RAVLO_ENVOI) + " " + arguments + " 2>&1";
  FILE* flux = ::popen(commande.c_str(), "r");
  if (flux == nullptr) return {"", -1};
  std::string sortie;
  std::array<char, 256> morceau{};
  while (std::fgets(morceau.data(), morceau.size(), flux) != nullptr) sortie += morceau.data();
  const int statut = ::pclose(flux);
  return {sortie, WIFEXITED(statut) ? WEXITSTATUS(statut) : -1};
}

// ravlo-recepteur lancé dans ravlo_rx s'annonce par le démon de son espace ; ravlo-envoi,
// dans ravlo_tx, le trouve par son nom, s'appaire et lui envoie du son.
TEST_F(Avahi, RavloRecepteurAnnonceEtRecoitParSonNom) {
  const std::string journal = "/tmp/ravlo-avahi-recepteur-" + std::to_string(::getpid());
  const std::string commande = std::string(outil()) + " dans rx " RAVLO_RECEPTEUR " --nom " +
                               cite("Véranda") + " --code 1357 --secondes 6 --wav " + journal +
                               ".wav --stats " + journal + ".json > " + journal + ".txt 2>&1 &";
  ASSERT_EQ(std::system(commande.c_str()), 0);
  const auto lu = [&] {
    std::ifstream f(journal + ".txt");
    return std::string((std::istreambuf_iterator<char>(f)), {});
  };
  ASSERT_TRUE(attendreQue([&] { return lu().find("Annoncé") != std::string::npos; })) << lu();
  EXPECT_NE(lu().find("« Véranda »"), std::string::npos) << lu();
  const auto [sortie, statut] =
      envoi("--recepteur " + cite("Véranda") + " --code 1357 --secondes 1");
  EXPECT_EQ(statut, 0) << sortie;
  // Le fichier existe avant d'être écrit : attendre sa dernière ligne.
  std::string json;
  ASSERT_TRUE(attendreQue([&] {
    std::ifstream stats(journal + ".json");
    json.assign(std::istreambuf_iterator<char>(stats), {});
    return json.ends_with("}\n");
  })) << lu();
  EXPECT_NE(json.find("\"appairages\": 1"), std::string::npos) << json;
  for (const char* fin : {".txt", ".wav", ".json"}) std::filesystem::remove(journal + fin);
}

// ravlo-recepteur lancé dans ravlo_rx, puis le démon de son espace arrêté et relancé : le
// récepteur s'annonce de nouveau sans être relancé lui-même, et le dit. Le but est 5 s après
// le retour du démon ; la borne de 20 s laisse passer une machine chargée.
TEST_F(Avahi, RavloRecepteurAnnonceDeNouveauApresLaRelanceDeSonDemon) {
  const std::string journal = "/tmp/ravlo-avahi-relance-" + std::to_string(::getpid());
  // Le PID écrit est celui du récepteur même : c'est lui que la fin du test arrête.
  lancer("dans rx bash -c " + cite(RAVLO_RECEPTEUR " --nom Grenier --code 2580 --secondes 120 "
                                                   "--wav /dev/null > " +
                                   journal + ".txt 2>&1 & echo $! > " + journal + ".pid"));
  struct Arret {
    std::string journal;
    ~Arret() {
      int pid = 0;
      std::ifstream(journal + ".pid") >> pid;
      if (pid > 0) ::kill(pid, SIGTERM);
      for (const char* fin : {".txt", ".pid"}) std::filesystem::remove(journal + fin);
    }
  } arret{journal};
  const auto lu = [&] {
    std::ifstream f(journal + ".txt");
    return std::string((std::istreambuf_iterator<char>(f)), {});
  };
  const auto annonces = [&] {
    const std::string texte = lu();
    std::size_t n = 0;
    for (auto i = texte.find("Annoncé"); i != std::string::npos; i = texte.find("Annoncé", i + 1))
      ++n;
    return n;
  };

  chercheur->demarrer();
  ASSERT_TRUE(attendreQue([&] { return trouver("Grenier") != nullptr; }, 20s)) << lu();
  lancer("arreter-demon rx");
  // Le démon arrêté dit adieu : le retour qui suit ne peut venir que d'une annonce nouvelle.
  ASSERT_TRUE(attendreQue([&] { return trouver("Grenier") == nullptr; }, 20s));
  // Mesuré dès la relance, démarrage du démon compris.
  const auto relance = std::chrono::steady_clock::now();
  lancer("relancer-demon rx");
  const bool revenu = attendreQue([&] { return trouver("Grenier") != nullptr; }, 20s);
  const std::chrono::duration<double> delai = std::chrono::steady_clock::now() - relance;
  std::printf("annoncé de nouveau %.2f s après la relance du démon\n", delai.count());
  ASSERT_TRUE(revenu) << lu();
  // Le récepteur le dit aussi, un peu après qu'on le voit parfois.
  EXPECT_TRUE(attendreQue([&] { return annonces() >= 2; })) << lu();
  EXPECT_EQ(trouver("Grenier")->point.adresse, environnement("RAVLO_AVAHI_ADRESSE_RX"));
}

}  // namespace
}  // namespace ravlo
