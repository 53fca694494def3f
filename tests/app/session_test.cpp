// SPDX-License-Identifier: MPL-2.0
#include <gtest/gtest.h>

#include "app/banc_app.hpp"
#include "faux/plateforme_app_enregistreuse.hpp"
#include "link/app/actions_panneau.hpp"
#include "link/app/etat_panneau.hpp"
#include "protocol/appairage/appairage_repondeur.hpp"
#include "protocol/messages/message_fin.hpp"
#include "protocol/messages/paquet_audio.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using Ecran = EtatPanneau::Ecran;

// Une séance comme un utilisateur la vit, le panneau relu après chaque pas : le récepteur
// apparaît, on l'appaire avec le vrai répondeur, on envoie, puis le récepteur arrête.
TEST(Session, DeLaRechercheALaFinParLeRecepteur) {
  banc::Application app;
  auto saisie = std::make_shared<SaisiePanneau>();
  auto bureau = std::make_shared<PlateformeAppEnregistreuse>();
  const auto actions = ActionsPanneau::pour(app.modele, saisie, bureau, *app.file);
  const auto panneau = [&] { return EtatPanneau::depuis(*app.modele, "fr"); };

  app.navigateurs->dernier().jouerEtat({EtatNavigateur::Cas::pret, {}});
  app.navigateurs->dernier().publier({banc::service("Salon")});
  app.file->executer();
  TickerNiveau ticker(*app.file, app.diffusion().shared_from_this(), saisie);
  ouvrirPanneau(*app.modele, *saisie, ticker);
  EXPECT_EQ(saisie->selection(), "Salon") << "seul listé : choisi sans clic";

  AppairageRepondeur repondeur(*CodeAppairage::depuisSaisie("4821"),
                               std::make_shared<HasardDeterministe>(7));
  saisie->changerCode("4821");
  actions.appairer();
  app.file->executer();
  auto& appairage = app.connexions->derniere();
  app.dialoguer(repondeur);
  const auto* reussi = std::get_if<AppairageRepondeur::Reussi>(&repondeur.etat());
  ASSERT_NE(reussi, nullptr);
  auto e = panneau();
  EXPECT_EQ(e.ecran, Ecran::pret);
  EXPECT_EQ(e.nomRecepteur, "Salon");

  actions.envoyer();
  app.file->executer();
  auto& audio = app.connexions->derniere();
  ASSERT_NE(&audio, &appairage);
  audio.jouerEtat({EtatConnexion::Cas::prete, std::nullopt});
  app.avancerAvecDuSon(1500ms);
  std::uint32_t attendue = 0;
  for (const Octets& d : audio.envoyes) {
    const auto ouvert = reussi->liaison.ouvreur->ouvrir(d);
    const auto paquet = PaquetAudio::lire(ouvert.value().contenu);
    EXPECT_EQ(paquet.value().sequence(), attendue++);
  }
  EXPECT_EQ(attendue, 150u) << "chaque bloc capté part, dans l'ordre";
  e = panneau();
  EXPECT_EQ(e.ecran, Ecran::envoi);
  EXPECT_DOUBLE_EQ(e.duree, 1.5);

  ASSERT_TRUE(
      audio.livrer(*reussi->liaison.scelleur->sceller(MessageFin::donnees, SorteEnveloppe::fin)));
  app.file->executer();
  e = panneau();
  EXPECT_EQ(e.ecran, Ecran::appairage);
  ASSERT_TRUE(e.message.has_value());
  EXPECT_EQ(e.message->titre, "Le récepteur a arrêté la lecture");
  EXPECT_TRUE(audio.annulee);
  EXPECT_FALSE(app.audio->demarree()) << "la capture est défaite";
}

}  // namespace
}  // namespace ravlo
