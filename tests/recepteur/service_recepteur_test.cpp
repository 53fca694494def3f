// Le récepteur habillé, sur de vraies sockets mais face à une sortie et un annonceur factices.
#include "programmes/recepteur/service_recepteur.hpp"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "faux/hasard_deterministe.hpp"
#include "faux/recepteur_factice.hpp"
#include "faux/socket_factice.hpp"
#include "protocol/appairage/appairage_initiateur.hpp"
#include "protocol/messages/paquet_audio.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;

std::string relire(std::FILE* f) {
  std::string texte;
  std::rewind(f);
  for (int c = 0; (c = std::fgetc(f)) != EOF;) texte += static_cast<char>(c);
  std::fclose(f);
  return texte;
}

std::size_t compter(const std::string& texte, const std::string& motif) {
  std::size_t n = 0;
  for (auto i = texte.find(motif); i != std::string::npos; i = texte.find(motif, i + 1)) ++n;
  return n;
}

// L'annonce qui rappelle avant de rendre la main, deux fois indisponible puis renommée ; une
// sortie qui rend dès son démarrage et sur son fil, dont le son se coupe puis qui tombe en
// panne : une seule phrase d'indisponibilité, le nom retenu, la carte qui suit le son coupé,
// la panne qui finit la course avec 1 et sa raison, l'annonce retirée.
TEST(ServiceRecepteur, AnnonceCarteEtPanneParLesFaux) {
  OptionsRecepteur options;
  options.nom = "Salon";
  options.code = CodeAppairage::depuisSaisie("1234");
  options.secondes = 10;
  auto sortie = std::make_unique<faux::SortieFactice>();
  auto* s = sortie.get();
  auto annonceur = std::make_unique<faux::AnnonceurFactice>(
      std::vector<EtatAnnonce>{{EtatAnnonce::Cas::indisponible, "Salon", "a"},
                               {EtatAnnonce::Cas::indisponible, "Salon", "b"},
                               {EtatAnnonce::Cas::annoncee, "Salon #2", ""}});
  auto* a = annonceur.get();
  std::FILE* messages = std::tmpfile();
  std::FILE* erreurs = std::tmpfile();
  ServiceRecepteur service(options, "fr",
                           {std::move(sortie), std::move(annonceur), nullptr, messages, erreurs});
  std::thread scenario([s] {
    std::this_thread::sleep_for(1500ms);
    s->coupe = true;
    std::this_thread::sleep_for(1000ms);
    s->enPanne = "disque plein";
  });
  EXPECT_EQ(service.executer(), 1);
  scenario.join();
  const std::string dit = relire(messages);

  ASSERT_EQ(a->demandes.size(), 1u);
  EXPECT_EQ(a->demandes[0].nom, "Salon");
  EXPECT_NE(dit.find("Port : " + std::to_string(a->demandes[0].port) + "\n"), std::string::npos);
  EXPECT_EQ(a->retraits, 1);
  EXPECT_EQ(compter(dit, "Pas d'annonce"), 1u) << dit;
  EXPECT_EQ(compter(dit, "« Salon #2 »"), 1u) << dit;
  EXPECT_EQ(compter(dit, "Code : 1234\n"), 1u) << dit;
  EXPECT_EQ(compter(dit, "Carte : son coupé non, en pause oui."), 1u) << dit;
  EXPECT_EQ(compter(dit, "Carte : son coupé oui, en pause oui."), 1u) << dit;
  EXPECT_EQ(relire(erreurs), "La lecture s'est arrêtée : disque plein.\n");
  EXPECT_GT(s->rendus.load(), 10);
}

// Par la socket factice, en lots rudes : un appairage, puis 100 paquets du son entrelacés de
// rebuts (trop longs, forgés, tronqués). Chaque datagramme de chaque lot est servi : tout le son
// rangé, les rebuts écartés et comptés, la file de réception relue dans --stats.
TEST(ServiceRecepteur, ServiceChaqueDatagrammeDesLots) {
  OptionsRecepteur options;
  options.code = CodeAppairage::depuisSaisie("1234");
  options.secondes = 4;
  const auto stats =
      std::filesystem::temp_directory_path() / ("ravlo-service-" + std::to_string(getpid()));
  options.stats = stats;
  faux::SocketFactice* socket = nullptr;
  std::atomic<bool> prete{false};
  ServiceRecepteur::Plateforme p{std::make_unique<faux::SortieFactice>(), nullptr, nullptr,
                                 std::tmpfile(), std::tmpfile()};
  p.socket = [&](File& file) {
    auto s = std::make_unique<faux::SocketFactice>(file);
    socket = s.get();
    prete = true;
    return s;
  };
  ServiceRecepteur service(options, "fr", std::move(p));
  std::thread scenario([&] {
    while (!prete) std::this_thread::sleep_for(1ms);
    const PointReseau dialogue{"127.0.0.1", 40000}, emetteur{"127.0.0.1", 40001};
    AppairageInitiateur initiateur(*CodeAppairage::depuisSaisie("1234"), "Portable",
                                   std::make_shared<HasardDeterministe>(3));
    std::size_t lus = 0;
    for (auto m = std::optional(initiateur.dernierMessage()); m;) {
      socket->verser({{m->donnees(), dialogue}});
      m.reset();
      for (const auto fin = std::chrono::steady_clock::now() + 10s;
           !m && std::chrono::steady_clock::now() < fin &&
           !std::holds_alternative<AppairageInitiateur::Reussi>(initiateur.etat());) {
        const auto envois = socket->envois();
        for (; lus < envois.size(); ++lus)
          if (auto r = MessagePasskey::decoder(envois[lus].first)) m = initiateur.recevoir(*r);
        if (!m) std::this_thread::sleep_for(1ms);
      }
    }
    const auto* reussi = std::get_if<AppairageInitiateur::Reussi>(&initiateur.etat());
    if (!reussi) return;
    std::vector<std::pair<Octets, PointReseau>> flot;
    for (std::uint32_t i = 0; i < 100; ++i) {
      const auto paquet = PaquetAudio::creer(i, i * 6'666'667ull, Octets(1280, 1));
      flot.emplace_back(
          *reussi->liaison.scelleur->sceller(paquet->encoder(), SorteEnveloppe::audio), emetteur);
      flot.emplace_back(Octets(3000, 'R'), emetteur);
      Octets forge(1324, 0);
      forge[0] = 'R', forge[1] = 'V', forge[2] = 2;
      flot.emplace_back(forge, PointReseau{"127.0.0.1", 666});
      flot.emplace_back(Octets(forge.begin(), forge.begin() + 20), emetteur);
    }
    socket->verser(std::move(flot));
  });
  EXPECT_EQ(service.executer(), 0);
  scenario.join();
  const auto j = nlohmann::json::parse(std::ifstream(stats), nullptr, false);
  std::filesystem::remove(stats);
  ASSERT_FALSE(j.is_discarded());
  EXPECT_EQ(j["appairages"], 1);
  EXPECT_EQ(j["paquetsRecus"], 100);
  EXPECT_EQ(j["enveloppesRefusees"], 300);
  EXPECT_GE(j["datagrammesEcartes"], 299) << "un seul forgé ouvert";
  EXPECT_EQ(j["tamponReceptionOctets"], 2 * faux::SocketFactice::plafondNoyau);
}

}  // namespace
}  // namespace ravlo
