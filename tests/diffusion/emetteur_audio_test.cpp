// SPDX-License-Identifier: MPL-2.0
#include "link/diffusion/emetteur_audio.hpp"

#include <gtest/gtest.h>

#include "diffusion/recepteur_en_face.hpp"
#include "faux/file_manuelle.hpp"
#include "protocol/messages/canal_horloge.hpp"
#include "protocol/messages/paquet_audio.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using Cas = EtatConnexion::Cas;
using essai::EnFace;
constexpr auto paquet = static_cast<std::int64_t>(flux::octetsParPaquet);
constexpr auto veille = EmetteurAudio::periodeVeille;
const ErreurReseau reseauAbsent{DomaineErreurReseau::posix, ENETUNREACH};

// Un émetteur sur une file manuelle, avec le récepteur d'en face de chaque voie.
struct Banc : ::testing::Test {
  faux::HorlogeManuelle horloge;
  std::shared_ptr<faux::FileManuelle> file = std::make_shared<faux::FileManuelle>(horloge);
  std::shared_ptr<faux::FabriqueFactice> fabrique = std::make_shared<faux::FabriqueFactice>();
  std::shared_ptr<TamponAudio> tampon = std::make_shared<TamponAudio>(96'000);
  EnFace a{0}, b{1}, c{2};
  int injoignables = 0;
  std::shared_ptr<EmetteurAudio> emetteur = creer();

  std::shared_ptr<EmetteurAudio> creer() {
    return EmetteurAudio::creer(
        tampon, PointReseau{"127.0.0.1", 50'000}, a.liaison, [] {}, [this] { ++injoignables; },
        EmetteurAudio::Plateforme{file, fabrique, &horloge});
  }
  faux::ConnexionFactice& connexion(std::size_t i) { return *fabrique->creees.at(i); }
  // Comme la vraie connexion : préparation puis prête pendant `demarrer()` même. Deux fois :
  // le second ne double rien.
  void demarrerPret() {
    fabrique->etatsAuDemarrage = {{Cas::preparation, std::nullopt}, {Cas::prete, std::nullopt}};
    emetteur->demarrer();
    emetteur->demarrer();
    file->executer();
  }
  EmetteurAudio::IdVoie ajouter(EnFace& r, std::uint16_t port, Tache injoignable = [] {}) {
    const auto id = emetteur->ajouterVoie(
        PointReseau{"127.0.0.1", port}, r.liaison, [] {}, std::move(injoignable));
    file->executer();
    return id;
  }
  void ecrire(std::int64_t octets, std::optional<InstantNs> heure) {
    ASSERT_TRUE(tampon->ecrire(Octets(static_cast<std::size_t>(octets), 0x42), heure));
    file->executer();
  }
  static std::vector<PaquetAudio> paquets(EnFace& r, faux::ConnexionFactice& cx) {
    std::vector<PaquetAudio> p;
    for (const Octets& o : r.recus(cx, SorteEnveloppe::audio)) p.push_back(*PaquetAudio::lire(o));
    return p;
  }
  // La dernière latence de groupe annoncée sur `cx`, 0 si aucune.
  static std::uint64_t latence(EnFace& r, faux::ConnexionFactice& cx) {
    std::uint64_t l = 0;
    for (const Octets& o : r.recus(cx, SorteEnveloppe::horloge))
      if (const auto lu = lireCanalHorloge(o)) {
        const auto* g = std::get_if<MessageGroupe>(&*lu);
        if (g && g->sorte == MessageGroupe::Sorte::latence) l = g->a;
      }
    return l;
  }
};

// L'anneau réveille l'émetteur dès qu'il tient un paquet entier : le paquet part sans que
// l'horloge avance, donc sans attendre la veille.
TEST_F(Banc, UnPaquetPartSitotSesTramesEcritesDateParLaCapture) {
  ecrire(paquet, horloge.hoteNs());  // écrit avant le démarrage : part au premier tir de la veille
  demarrerPret();
  ASSERT_EQ(paquets(a, connexion(0)).size(), 1u);
  const InstantNs capture = horloge.hoteNs() - 2'000'000;
  ecrire(paquet - 4, capture);
  EXPECT_TRUE(paquets(a, connexion(0)).empty()) << "pas de paquet avant ses trames";
  ecrire(paquet + 44, capture + static_cast<InstantNs>(TamponAudio::dureeNs(paquet - 4)));
  auto p = paquets(a, connexion(0));
  EXPECT_EQ(fabrique->creees.size(), 1u);
  ASSERT_EQ(p.size(), 2u) << "tous les blocs entiers au même réveil, sans que le temps passe";
  EXPECT_EQ(tampon->disponible(), 40) << "le bloc incomplet attend";
  EXPECT_EQ(p[1].sequence(), p[0].sequence() + 1);
  EXPECT_EQ(p[0].horodatageNanosecondes(), capture);
  EXPECT_EQ(p[1].horodatageNanosecondes(), capture + 6'666'666) << "320 trames plus tard";
  // Sans heure de capture : l'heure de l'emballage, et compté à part.
  tampon->jeter(40);
  horloge.avancer(1'000'000);
  ecrire(paquet, std::nullopt);
  p = paquets(a, connexion(0));
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].horodatageNanosecondes(), horloge.hoteNs());
  EXPECT_EQ(emetteur->compteurs().paquetsSansHeureDeCapture, 1);
}

// Arrêté ou détruit, l'émetteur n'est plus sonné par l'anneau, que la source continue de
// remplir (sous ASan, une sonnerie vers un réveil disparu se verrait) ; arrêté, il ne
// redémarre pas, et une voie qu'on lui ajoute renonce aussitôt.
TEST_F(Banc, ArreteOuDetruitIlNEstPlusSonne) {
  for (const bool detruire : {false, true}) {
    SCOPED_TRACE(detruire);
    demarrerPret();
    auto& cx = fabrique->derniere();
    ecrire(paquet, horloge.hoteNs());
    ASSERT_EQ(paquets(a, cx).size(), 1u);
    if (detruire) {
      emetteur.reset();
    } else {
      emetteur->arreter();
      emetteur->demarrer();
      int renonce = 0;
      EXPECT_EQ(ajouter(b, 50'001, [&] { ++renonce; }), 1u);
      EXPECT_EQ(renonce, 1);
    }
    ecrire(3 * paquet, horloge.hoteNs());
    file->avancer(1s);
    EXPECT_TRUE(cx.envoyes.empty());
    EXPECT_EQ(tampon->disponible(), 3 * paquet);
    tampon->jeter(tampon->disponible());
    emetteur = creer();
  }
  EXPECT_EQ(fabrique->creees.size(), 2u);
}

// Sans aucun son, la veille seule surveille le récepteur.
TEST_F(Banc, RecepteurMuetATroisSecondesPuisPerduA600) {
  demarrerPret();
  const auto muet = [&] { return emetteur->compteursVoie(0)->recepteurMuet; };
  file->avancer(3s - veille);
  EXPECT_FALSE(muet());
  file->avancer(veille);
  EXPECT_TRUE(muet());
  // Toute enveloppe authentique est un signe de vie ; une enveloppe falsifiée non.
  ASSERT_TRUE(a.dire(connexion(0), Octets{}, SorteEnveloppe::audio));
  file->avancer(veille);
  EXPECT_FALSE(muet());
  ASSERT_TRUE(
      connexion(0).livrer(*Scelleur(essai::cle(1)).sceller(Octets{}, SorteEnveloppe::audio)));
  file->avancer(3s);
  EXPECT_TRUE(muet());
  EXPECT_EQ(connexion(0).receptionsArmees(), 1u) << "réarmée après chaque datagramme";
  file->avancer(600s - 3s - 2 * veille);
  EXPECT_EQ(injoignables, 0);
  file->avancer(veille);
  EXPECT_EQ(injoignables, 1);
  EXPECT_TRUE(connexion(0).annulee);
  file->avancer(10s);
  EXPECT_EQ(injoignables, 1) << "la minuterie est arrêtée";
}

// Comme une socket UDP connectée : chaque connexion refaite est prête aussitôt, que le
// récepteur écoute ou non ; seule sa réponse finit la panne, et sans elle l'abandon tombe
// 30 s après son début.
TEST_F(Banc, PanneRefaiteAuPlusUneFoisParSecondeFinieParLeRecepteurPasParPrete) {
  for (const bool repond : {false, true}) {
    SCOPED_TRACE(repond);
    injoignables = 0;
    fabrique->creees.clear();
    emetteur = creer();
    demarrerPret();
    connexion(0).jouerEtat({Cas::echec, reseauAbsent});
    file->executer();
    auto v = *emetteur->compteursVoie(0);
    EXPECT_FALSE(v.connexionPrete);
    EXPECT_EQ(v.erreur, reseauAbsent);
    // Hors connexion, l'anneau se vide par blocs entiers : pas de rafale périmée au retour.
    ecrire(3 * paquet + 100, horloge.hoteNs());
    EXPECT_EQ(tampon->disponible(), 100);
    EXPECT_EQ(emetteur->compteursVoie(0)->blocsJetes, 3);
    tampon->jeter(100);
    file->avancer(1s - veille);
    EXPECT_EQ(fabrique->creees.size(), 1u) << "rien n'est refait avant une seconde";
    file->avancer(veille);
    ASSERT_EQ(fabrique->creees.size(), 2u);
    EXPECT_TRUE(connexion(0).annulee);
    EXPECT_TRUE(emetteur->compteursVoie(0)->connexionPrete);
    if (repond) {
      ASSERT_TRUE(a.dire(connexion(1), Octets{}, SorteEnveloppe::audio));
      ecrire(paquet, horloge.hoteNs());
      const auto p = paquets(a, connexion(1));
      ASSERT_EQ(p.size(), 1u);
      EXPECT_EQ(p[0].sequence(), 0u) << "les blocs jetés n'ont pas pris de numéro";
    }
    file->avancer(29s - veille);
    EXPECT_EQ(injoignables, 0);
    file->avancer(veille);
    EXPECT_EQ(injoignables, repond ? 0 : 1) << "prête ne finit pas la panne";
  }
  // Port fermé pour de bon : chaque connexion refaite est prête puis refusée, au plus une
  // fois par seconde, et l'abandon tombe 30 s après le début de cette panne-ci. Le son coule :
  // chaque paquet réveille l'émetteur, qui reste à une seconde.
  const ErreurReseau refus{DomaineErreurReseau::posix, ECONNREFUSED};
  fabrique->derniere().jouerEtat({Cas::attente, refus});
  ecrire(paquet, horloge.hoteNs());
  const InstantNs debutPanne = horloge.hoteNs();
  std::size_t creees = fabrique->creees.size();
  while (horloge.hoteNs() < debutPanne + 30'000'000'000 - 5'000'000) {
    file->avancer(5ms);
    ecrire(paquet, horloge.hoteNs());
    if (fabrique->creees.size() == creees) continue;
    creees = fabrique->creees.size();
    fabrique->derniere().jouerEtat({Cas::attente, refus});
  }
  EXPECT_EQ(fabrique->creees.size(), 31u) << "29 reprises";
  EXPECT_EQ(injoignables, 0);
  file->avancer(5ms);
  ecrire(paquet, horloge.hoteNs());
  EXPECT_EQ(injoignables, 1);
  EXPECT_TRUE(fabrique->derniere().annulee);
}

// Les pièces font un groupe : chacune apprend la même latence, le plus grand besoin admis
// arrondi, qui monte dès qu'une pièce a besoin de plus. Seule, une pièce n'entend parler de
// rien. Une pièce qui dit un besoin que sa file ne tiendrait pas sort du groupe : les autres
// gardent leur latence, elle n'en reçoit plus et joue seule ; ses compteurs le disent. Un
// besoin sain l'y ramène (0 en est un : il ne monte rien).
TEST_F(Banc, LaLatenceDuGroupeSuitLePlusGrandBesoinAdmis) {
  demarrerPret();
  const auto besoin = [](std::uint64_t ns) { return MessageGroupe::besoin(ns, 0).encoder(); };
  ASSERT_TRUE(a.dire(connexion(0), besoin(30'000'000), SorteEnveloppe::horloge));
  file->avancer(1s);
  EXPECT_EQ(latence(a, connexion(0)), 0u) << "une pièce seule joue seule";
  const auto voieB = ajouter(b, 50'001);
  ajouter(c, 50'002);
  std::int64_t refuses = 0;
  for (const auto& [besoinC, dedans] :
       std::vector<std::pair<std::uint64_t, bool>>{{10'000'000'000, false},
                                                   {std::uint64_t{1} << 63, false},
                                                   {~std::uint64_t{0} - 1, false},
                                                   {0, true},
                                                   {AccordGroupe::besoinMaxNs + 1, false},
                                                   {20'000'000, true}}) {
    SCOPED_TRACE(besoinC);
    for (int i = 0; i < 10; ++i) {  // chacun redit son besoin à chaque tic, comme un récepteur
      ASSERT_TRUE(a.dire(connexion(0), besoin(30'000'000), SorteEnveloppe::horloge));
      ASSERT_TRUE(b.dire(connexion(1), besoin(21'000'000), SorteEnveloppe::horloge));
      ASSERT_TRUE(c.dire(connexion(2), besoin(besoinC), SorteEnveloppe::horloge));
      file->avancer(200ms);
    }
    EXPECT_EQ(latence(a, connexion(0)), 36'000'000u) << "30 ms + 3 de marge, au pas de 4 ms";
    EXPECT_EQ(latence(b, connexion(1)), 36'000'000u);
    EXPECT_EQ(latence(c, connexion(2)), dedans ? 36'000'000u : 0u);
    const auto v = emetteur->compteursVoies().at(2).compteurs;
    EXPECT_EQ(v.horsGroupe, !dedans);
    EXPECT_EQ(v.besoinsRefuses, refuses += dedans ? 0 : 10);
  }
  ASSERT_TRUE(b.dire(connexion(1), besoin(46'000'000), SorteEnveloppe::horloge));
  file->avancer(veille);
  EXPECT_EQ(latence(a, connexion(0)), 52'000'000u) << "monte aussitôt";
  EXPECT_EQ(latence(b, connexion(1)), 52'000'000u);
  // Un message d'horloge d'une sorte que personne ne connaît n'a aucun effet.
  Octets inconnu = MessageHorloge::question(1).encoder();
  inconnu[3] = 9;
  ASSERT_TRUE(a.dire(connexion(0), inconnu, SorteEnveloppe::horloge));
  file->executer();
  EXPECT_TRUE(connexion(0).envoyes.empty());
  // Les pièces qui restent gardent l'heure du groupe : elle ne saute pas quand une s'en va.
  emetteur->retirerVoie(voieB);
  file->avancer(1s);
  EXPECT_EQ(latence(a, connexion(0)), 52'000'000u);
}

}  // namespace
}  // namespace ravlo
