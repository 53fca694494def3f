#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "bench/relais/recepteur_lance.hpp"
#include "faux/navigateur_factice.hpp"
#include "faux/plateforme_audio_fausse.hpp"
#include "link/app/modele_link.hpp"
#include "link/plateforme/principal_asio.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;

void tournerJusqua(PrincipalAsio& principal, std::chrono::seconds delai,
                   const std::function<bool()>& fini) {
  const auto echeance = std::chrono::steady_clock::now() + delai;
  auto suivi = principal.repeter(10ms, 5ms, [&] {
    if (fini() || std::chrono::steady_clock::now() >= echeance) principal.arreter();
  });
  principal.executer();
}

// Sur de vrais fils (principal, "ravlo.chercheur", "ravlo.emetteur", un fil du son) et de
// vraies sockets de la boucle locale, face au vrai ravlo-recepteur.
TEST(ConcurrenceSession, AppairerEnvoyerPuisLeRecepteurArrete) {
  boucle::RecepteurLance recepteur({"--code", "2468", "--wav", "/dev/null"});
  PrincipalAsio principal;
  auto navigateurs = std::make_shared<faux::FabriqueNavigateursFactice>();
  auto audio = std::make_shared<faux::PlateformeAudioFausse>();
  auto reglages = std::make_shared<MagasinReglagesMemoire>();
  reglages->ecrireBooleen(ModeleLink::cleAccueilVu, true);
  auto modele =
      ModeleLink::creer(ModeleLink::dependancesSysteme(principal, navigateurs, audio, reglages));
  ChercheurRavlo& chercheur = modele->chercheur();
  navigateurs->dernier().publier({{PointReseau{"127.0.0.1", recepteur.port, "Salon"}}});
  tournerJusqua(principal, 5s, [&] { return !chercheur.appareils().empty(); });
  ASSERT_EQ(chercheur.appareils().size(), 1u);
  chercheur.appairer(chercheur.appareils()[0], "2468");
  tournerJusqua(principal, 10s, [&] { return chercheur.appaire().has_value(); });
  ASSERT_TRUE(chercheur.appaire().has_value());

  modele->diffusion().demarrer(chercheur.appaire()->appareil.point, chercheur.appaire()->liaison);
  std::atomic<bool> fini = false;
  std::thread son([&] {
    const std::vector<float> bloc(640, 0.25F);
    const TamponBloc t{bloc.data(), 2560};
    while (!fini) {
      audio->livrer({&t, 1}, {HorodatageBloc::heureHoteValide, hoteNs()});
      std::this_thread::sleep_for(5ms);
    }
  });
  auto paquets = std::async(std::launch::async, [&] { return recepteur.attendrePaquets(50); });
  tournerJusqua(principal, 15s, [&] { return paquets.wait_for(0s) == std::future_status::ready; });
  EXPECT_TRUE(paquets.get());
  EXPECT_EQ(recepteur.arreter(), 0);  // la fin part vers l'émetteur
  tournerJusqua(principal, 10s, [&] { return !modele->diffusion().enDiffusion(); });
  fini = true;
  son.join();
  EXPECT_EQ(chercheur.resultat().cas, ChercheurRavlo::Resultat::Cas::finParLIPhone);
  EXPECT_FALSE(chercheur.appaire().has_value());
  EXPECT_FALSE(audio->demarre);
}

}  // namespace
}  // namespace ravlo
