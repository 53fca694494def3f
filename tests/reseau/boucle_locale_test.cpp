// Appairage et envoi sur de vraies sockets UDP de la boucle locale, face à un récepteur
// fait de la seule bibliothèque.
#include <gtest/gtest.h>

#include <asio/ip/udp.hpp>
#include <future>
#include <thread>

#include "link/discovery/dialogue_appairage.hpp"
#include "link/envoi/alimentation.hpp"
#include "link/plateforme/connexion_udp.hpp"
#include "link/plateforme/file_serie.hpp"
#include "link/sending/emetteur_audio.hpp"
#include "outils/recepteur_test.hpp"
#include "outils/relais_udp.hpp"
#include "protocol/hasard_systeme.hpp"
#include "protocol/message_erreur_reseau.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using Issue = std::expected<void, EchecDialogue>;

const CodeAppairage code = *CodeAppairage::depuisSaisie("2468");

struct BoucleLocale : ::testing::Test {
  std::shared_ptr<FileSerie> fileChercheur = std::make_shared<FileSerie>("ravlo.chercheur");
  std::shared_ptr<FabriqueConnexionsUDP> connexions = std::make_shared<FabriqueConnexionsUDP>();
  // Le fil principal du test : les issues y arrivent.
  std::shared_ptr<FileSerie> principal = std::make_shared<FileSerie>("test.principal");

  // Lance un dialogue vers `port` et rend la promesse de son issue, avec l'initiateur.
  std::pair<std::shared_ptr<AppairageInitiateur>, std::future<Issue>> appairer(std::uint16_t port) {
    auto initiateur = std::make_shared<AppairageInitiateur>(code, "Poste d'essai",
                                                            std::make_shared<HasardSysteme>());
    auto promesse = std::make_shared<std::promise<Issue>>();
    lancerDialogue(initiateur, PointReseau{"127.0.0.1", port},
                   PlateformeDialogue{fileChercheur, connexions}, *principal,
                   [promesse](Issue issue) { promesse->set_value(issue); });
    return {initiateur, promesse->get_future()};
  }
};

TEST_F(BoucleLocale, AppairagePuisDeuxSecondesDeTonEtReponsesDHorlogeEtFin) {
  test::RecepteurTest recepteur(code);
  auto [initiateur, issue] = appairer(recepteur.port());
  ASSERT_EQ(issue.wait_for(8s), std::future_status::ready);
  ASSERT_TRUE(issue.get().has_value());
  const auto* reussi = std::get_if<AppairageInitiateur::Reussi>(&initiateur->etat());
  ASSERT_NE(reussi, nullptr);
  EXPECT_TRUE(recepteur.appaire());
  EXPECT_EQ(recepteur.nomOrdinateur(), "Poste d'essai");

  auto tampon = std::make_shared<TamponAudio>(96'000);
  auto fileEmetteur = std::make_shared<FileSerie>("ravlo.emetteur", FileSerie::Priorite::elevee);
  FileSerie fileSource("ravlo.source");
  std::promise<void> arret;
  auto emetteur = EmetteurAudio::creer(
      tampon, PointReseau{"127.0.0.1", recepteur.port()}, reussi->liaison,
      [&arret] { arret.set_value(); }, [] {},
      EmetteurAudio::Plateforme{fileEmetteur, connexions, &horlogeSysteme(), "C"});
  auto alimentation = std::make_unique<Alimentation>(tampon, std::make_unique<SourceTon>(1000.0),
                                                     fileSource, horlogeSysteme());
  emetteur->demarrer();
  alimentation->demarrer();
  std::this_thread::sleep_for(1s);
  const InstantNs question = horlogeSysteme().hoteNs();
  recepteur.envoyerQuestionHorloge(question);
  std::this_thread::sleep_for(1s);
  alimentation->arreter();
  std::this_thread::sleep_for(50ms);

  const auto paquets = recepteur.paquets();
  // 2 s à 150 paquets par seconde ; le dernier bloc incomplet attend encore.
  EXPECT_GE(paquets.size(), 280u);
  EXPECT_LE(paquets.size(), 301u);
  for (const std::size_t taille : recepteur.taillesEnveloppesAudio()) ASSERT_EQ(taille, 1324u);
  for (std::size_t i = 0; i < paquets.size(); ++i) {
    ASSERT_EQ(paquets[i].sequence(), i);
    ASSERT_EQ(paquets[i].nombreDeTrames(), 320u);
    if (i > 0) {
      // 320 trames d'écart : un seul segment, l'heure suit le compte d'octets.
      const auto octets = static_cast<std::int64_t>(1280 * i);
      ASSERT_EQ(paquets[i].horodatageNanosecondes() - paquets[i - 1].horodatageNanosecondes(),
                static_cast<std::uint64_t>(TamponAudio::dureeNs(octets) -
                                           TamponAudio::dureeNs(octets - 1280)));
    }
  }
  const auto reponses = recepteur.reponsesHorloge();
  ASSERT_EQ(reponses.size(), 1u);
  EXPECT_EQ(reponses[0].envoiQuestion, question);
  EXPECT_LE(question, reponses[0].receptionQuestion);
  EXPECT_LE(reponses[0].receptionQuestion, reponses[0].envoiReponse);

  recepteur.envoyerFin();
  EXPECT_EQ(arret.get_future().wait_for(2s), std::future_status::ready);
  emetteur->arreter();
}

TEST_F(BoucleLocale, RecepteurAncienEtPortFerme) {
  test::RecepteurTest ancien(code, test::RecepteurTest::Comportement::ancien);
  auto [i1, issue1] = appairer(ancien.port());
  ASSERT_EQ(issue1.wait_for(2s), std::future_status::ready);
  EXPECT_EQ(issue1.get().error(), EchecDialogue(ErreurAppairage::iPhoneAncien));

  // Un port fermé : l'ICMP « port injoignable » revient en ECONNREFUSED sur la socket.
  std::uint16_t ferme = 0;
  {
    asio::io_context c;
    asio::ip::udp::socket s(c, asio::ip::udp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
    ferme = s.local_endpoint().port();
  }
  auto [i2, issue2] = appairer(ferme);
  ASSERT_EQ(issue2.wait_for(2s), std::future_status::ready) << "sans attendre les 8 s";
  const auto erreur = issue2.get();
  ASSERT_FALSE(erreur.has_value());
  const auto* reseau = std::get_if<ErreurReseau>(&erreur.error());
  ASSERT_NE(reseau, nullptr);
  // La clé : la table de ce processus n'est liée à aucun catalogue.
  EXPECT_EQ(MessageErreurReseau::texte(*reseau, "C"),
            "L'iPhone refuse la connexion. Ouvre Ravlo sur l'iPhone, puis réessaie.");
}

// Dix appairages en même temps, chacun à travers un relais qui perd 5 % des datagrammes
// dans chaque sens et ajoute 1 à 3 ms de retard : tous aboutissent dans le budget.
TEST_F(BoucleLocale, AppairageMalgrePertes) {
  constexpr int essais = 10;
  std::vector<std::unique_ptr<test::RecepteurTest>> recepteurs;
  std::vector<std::unique_ptr<test::RelaisUDP>> relais;
  std::vector<std::pair<std::shared_ptr<AppairageInitiateur>, std::future<Issue>>> dialogues;
  for (int graine = 1; graine <= essais; ++graine) {
    recepteurs.push_back(std::make_unique<test::RecepteurTest>(code));
    relais.push_back(std::make_unique<test::RelaisUDP>(
        recepteurs.back()->port(),
        test::RelaisUDP::Reglages{0.05, 1ms, 2ms, static_cast<std::uint64_t>(graine)}));
    dialogues.push_back(appairer(relais.back()->port()));
  }
  int reussis = 0;
  std::uint64_t perdus = 0;
  for (int i = 0; i < essais; ++i) {
    ASSERT_EQ(dialogues[i].second.wait_for(10s), std::future_status::ready);
    const Issue issue = dialogues[i].second.get();
    if (issue && std::holds_alternative<AppairageInitiateur::Reussi>(dialogues[i].first->etat())) {
      ++reussis;
    }
    perdus += relais[i]->perdus();
  }
  EXPECT_EQ(reussis, essais);
  EXPECT_GT(perdus, 0u) << "le relais doit vraiment perdre";
}

}  // namespace
}  // namespace ravlo
