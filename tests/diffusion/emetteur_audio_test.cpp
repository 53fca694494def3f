// SPDX-License-Identifier: MPL-2.0
#include "link/diffusion/emetteur_audio.hpp"

#include <gtest/gtest.h>

#include "faux/connexion_factice.hpp"
#include "faux/file_manuelle.hpp"
#include "protocol/messages/canal_horloge.hpp"
#include "protocol/messages/paquet_audio.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using Cas = EtatConnexion::Cas;

Cle cle(std::uint8_t octet) {
  Cle c;
  c.fill(octet);
  return c;
}

// Un émetteur sur une file manuelle, avec le récepteur d'en face (ses clés inversées).
struct Banc : ::testing::Test {
  faux::HorlogeManuelle horloge;
  std::shared_ptr<faux::FileManuelle> file = std::make_shared<faux::FileManuelle>(horloge);
  std::shared_ptr<faux::FabriqueFactice> fabrique = std::make_shared<faux::FabriqueFactice>();
  std::shared_ptr<TamponAudio> tampon = std::make_shared<TamponAudio>(96'000);
  Ouvreur ouvreurRecepteur{cle(1)};
  Scelleur scelleurRecepteur{cle(2)};
  int arrets = 0;
  int injoignables = 0;
  std::shared_ptr<EmetteurAudio> emetteur = EmetteurAudio::creer(
      tampon, PointReseau{"127.0.0.1", 50'000}, Liaison::nouvelle(cle(1), cle(2)),
      [this] { ++arrets; }, [this] { ++injoignables; },
      EmetteurAudio::Plateforme{file, fabrique, &horloge});

  faux::ConnexionFactice& connexion() { return fabrique->derniere(); }

  // Comme la vraie connexion : préparation puis prête pendant `demarrer()` même. Deux fois :
  // le second ne double rien.
  void demarrerPret() {
    fabrique->etatsAuDemarrage = {{Cas::preparation, std::nullopt}, {Cas::prete, std::nullopt}};
    emetteur->demarrer();
    emetteur->demarrer();
    file->executer();
  }
  void ecrire(std::size_t octets, std::optional<InstantNs> heure) {
    ASSERT_TRUE(tampon->ecrire(Octets(octets, 0x42), heure));
  }
  // Les latences de groupe annoncées sur `c` depuis le dernier appel.
  static std::vector<std::uint64_t> latences(faux::ConnexionFactice& c, Ouvreur& o) {
    std::vector<std::uint64_t> l;
    for (const Octets& d : c.envoyes) {
      const auto ouvert = o.ouvrir(d);
      if (!ouvert || ouvert->sorte != SorteEnveloppe::horloge) continue;
      const auto lu = lireCanalHorloge(ouvert->contenu);
      const auto* g = lu ? std::get_if<MessageGroupe>(&*lu) : nullptr;
      if (g && g->sorte == MessageGroupe::Sorte::latence) l.push_back(g->a);
    }
    c.envoyes.clear();
    return l;
  }
  std::vector<PaquetAudio> paquetsRecus() {
    std::vector<PaquetAudio> paquets;
    for (const Octets& d : connexion().envoyes) {
      const auto ouvert = ouvreurRecepteur.ouvrir(d);
      if (ouvert && ouvert->sorte == SorteEnveloppe::audio)
        paquets.push_back(*PaquetAudio::lire(ouvert->contenu));
    }
    connexion().envoyes.clear();
    return paquets;
  }
  void livrer(SorteEnveloppe sorte, VueOctets contenu, Scelleur* scelleur = nullptr) {
    ASSERT_TRUE(
        connexion().livrer(*(scelleur ? *scelleur : scelleurRecepteur).sceller(contenu, sorte)));
    file->executer();
  }
};

// L'anneau réveille l'émetteur dès qu'il tient un paquet entier : le paquet part sans que
// l'horloge avance, donc sans attendre la veille.
TEST_F(Banc, UnPaquetPartSitotSesTramesEcritesDateParLaCapture) {
  ecrire(1280, horloge.hoteNs());  // écrit avant le démarrage : part au premier tir de la veille
  demarrerPret();
  ASSERT_EQ(paquetsRecus().size(), 1u);
  const InstantNs debut = horloge.hoteNs();
  const InstantNs capture = debut - 2'000'000;
  ecrire(1276, capture);  // 319 trames
  file->executer();
  EXPECT_TRUE(paquetsRecus().empty()) << "pas de paquet avant ses 320 trames";
  ecrire(2600 - 1276, capture + static_cast<InstantNs>(TamponAudio::dureeNs(1276)));
  file->executer();
  auto paquets = paquetsRecus();
  EXPECT_EQ(horloge.hoteNs(), debut) << "sans que le temps passe";
  EXPECT_EQ(fabrique->creees.size(), 1u);
  ASSERT_EQ(paquets.size(), 2u) << "tous les blocs entiers au même réveil";
  EXPECT_EQ(tampon->disponible(), 40) << "le bloc incomplet attend";
  EXPECT_EQ(paquets[1].sequence(), paquets[0].sequence() + 1);
  EXPECT_EQ(paquets[0].horodatageNanosecondes(), capture);
  EXPECT_EQ(paquets[1].horodatageNanosecondes(), capture + 6'666'666) << "320 trames plus tard";
  // Sans heure de capture : l'heure de l'emballage, et compté à part.
  tampon->jeter(40);
  horloge.avancer(1'000'000);
  ecrire(1280, std::nullopt);
  file->executer();
  paquets = paquetsRecus();
  ASSERT_EQ(paquets.size(), 1u);
  EXPECT_EQ(paquets[0].horodatageNanosecondes(), horloge.hoteNs());
  EXPECT_EQ(emetteur->compteurs().paquetsSansHeureDeCapture, 1);
}

// Arrêté ou détruit, l'émetteur n'est plus sonné par l'anneau, que la source continue de
// remplir (sous ASan, une sonnerie vers un réveil disparu se verrait).
TEST_F(Banc, ArreteOuDetruitIlNEstPlusSonne) {
  for (const bool detruire : {false, true}) {
    SCOPED_TRACE(detruire);
    demarrerPret();
    auto& c = connexion();
    ecrire(1280, horloge.hoteNs());
    file->executer();
    ASSERT_EQ(c.envoyes.size(), 1u);
    c.envoyes.clear();
    if (detruire) {
      emetteur.reset();
    } else {
      emetteur->arreter();
    }
    file->executer();
    ecrire(3 * 1280, horloge.hoteNs());
    file->avancer(1s);
    EXPECT_TRUE(c.envoyes.empty());
    EXPECT_EQ(tampon->disponible(), 3 * 1280);
    tampon->jeter(tampon->disponible());
    emetteur = EmetteurAudio::creer(
        tampon, PointReseau{"127.0.0.1", 50'000}, Liaison::nouvelle(cle(1), cle(2)), [] {}, [] {},
        EmetteurAudio::Plateforme{file, fabrique, &horloge});
  }
}

// Sans aucun son, la veille seule surveille le récepteur.
TEST_F(Banc, RecepteurMuetATroisSecondesPuisPerduA600) {
  constexpr auto veille = EmetteurAudio::periodeVeille;
  demarrerPret();
  file->avancer(3s - veille);
  EXPECT_FALSE(emetteur->compteurs().recepteurMuet);
  file->avancer(veille);
  EXPECT_TRUE(emetteur->compteurs().recepteurMuet);
  // Une enveloppe authentique, de n'importe quelle sorte, est un signe de vie ; une
  // enveloppe falsifiée non.
  livrer(SorteEnveloppe::audio, Octets{});
  file->avancer(veille);
  EXPECT_FALSE(emetteur->compteurs().recepteurMuet);
  Scelleur faussaire(cle(1));
  livrer(SorteEnveloppe::audio, Octets{}, &faussaire);
  file->avancer(3s);
  EXPECT_TRUE(emetteur->compteurs().recepteurMuet);
  EXPECT_EQ(connexion().receptionsArmees(), 1u) << "réarmée après chaque datagramme";
  file->avancer(600s - 3s - 2 * veille);
  EXPECT_EQ(injoignables, 0);
  file->avancer(veille);
  EXPECT_EQ(injoignables, 1);
  EXPECT_TRUE(connexion().annulee);
  file->avancer(10s);
  EXPECT_EQ(injoignables, 1) << "la minuterie est arrêtée";
}

// Comme une socket UDP connectée : chaque connexion refaite est prête aussitôt, que le
// récepteur écoute ou non ; seule sa réponse finit la panne.
TEST_F(Banc, PanneRefaiteAuPlusUneFoisParSecondeFinieParLeRecepteurPasParPrete) {
  demarrerPret();
  connexion().jouerEtat({Cas::echec, ErreurReseau{DomaineErreurReseau::posix, ENETUNREACH}});
  file->executer();
  auto c = emetteur->compteurs();
  EXPECT_FALSE(c.connexionPrete);
  EXPECT_EQ(c.erreur, (ErreurReseau{DomaineErreurReseau::posix, ENETUNREACH}));
  // Hors connexion, l'anneau se vide par blocs entiers : pas de rafale périmée au retour.
  // Ce réveil-ci note aussi le début de la panne.
  ecrire(3 * 1280 + 100, horloge.hoteNs());
  file->executer();
  EXPECT_EQ(tampon->disponible(), 100);
  EXPECT_EQ(emetteur->compteurs().blocsJetes, 3);
  file->avancer(1s - EmetteurAudio::periodeVeille);
  EXPECT_EQ(fabrique->creees.size(), 1u) << "rien n'est refait avant une seconde";
  file->avancer(EmetteurAudio::periodeVeille);
  ASSERT_EQ(fabrique->creees.size(), 2u);
  EXPECT_TRUE(fabrique->creees[0]->annulee);
  EXPECT_TRUE(emetteur->compteurs().connexionPrete);
  livrer(SorteEnveloppe::audio, Octets{});
  file->avancer(29s);

  // Port fermé pour de bon : chaque connexion refaite est prête puis refusée, au plus une
  // fois par seconde, et l'abandon tombe 30 s après le début de cette panne-ci.
  // Le son continue de couler : chaque paquet réveille l'émetteur, qui reste à une seconde.
  const ErreurReseau refus{DomaineErreurReseau::posix, ECONNREFUSED};
  connexion().jouerEtat({Cas::attente, refus});
  file->executer();
  ecrire(1280, horloge.hoteNs());
  file->executer();
  const InstantNs debutPanne = horloge.hoteNs();
  std::size_t creees = fabrique->creees.size();
  while (horloge.hoteNs() < debutPanne + 30'000'000'000 - 5'000'000) {
    file->avancer(5ms);
    ecrire(1280, horloge.hoteNs());
    file->executer();
    if (fabrique->creees.size() == creees) continue;
    creees = fabrique->creees.size();
    connexion().jouerEtat({Cas::attente, refus});
  }
  EXPECT_EQ(fabrique->creees.size(), 31u) << "29 reprises";
  EXPECT_EQ(injoignables, 0);
  file->avancer(5ms);
  ecrire(1280, horloge.hoteNs());
  file->executer();
  EXPECT_EQ(injoignables, 1);
  EXPECT_TRUE(connexion().annulee);
}

// Sans refus ni réponse (paquets perdus sans ICMP), la connexion refaite reste prête : la
// panne ne finit pas pour autant, et l'abandon tombe à 30 s.
TEST_F(Banc, PanneSansReponseMaisConnexionPreteAbandonneATrenteSecondes) {
  demarrerPret();
  // Sans son : la veille seule voit la panne, à sa période près.
  connexion().jouerEtat({Cas::echec, ErreurReseau{DomaineErreurReseau::posix, ENETUNREACH}});
  file->executer();
  file->avancer(30s);
  ASSERT_EQ(fabrique->creees.size(), 2u);
  EXPECT_EQ(injoignables, 0);
  file->avancer(EmetteurAudio::periodeVeille);
  EXPECT_EQ(injoignables, 1);
}

// Deux voies lisent les mêmes blocs, chacune sous ses clés et avec ses numéros ; la panne
// puis l'abandon de l'une ne touchent pas l'autre, et l'émetteur continue.
// Deux pièces font un groupe : chacune apprend la même latence, le plus grand besoin arrondi,
// qui monte dès qu'une pièce a besoin de plus. Seule, une pièce n'entend parler de rien.
TEST_F(Banc, LaLatenceDuGroupeSuitLePlusGrandBesoin) {
  demarrerPret();
  livrer(SorteEnveloppe::horloge, MessageGroupe::besoin(30'000'000, 0).encoder());
  file->avancer(1s);
  EXPECT_TRUE(latences(connexion(), ouvreurRecepteur).empty()) << "une pièce seule joue seule";

  const auto voieB = emetteur->ajouterVoie(
      PointReseau{"127.0.0.1", 50'001}, Liaison::nouvelle(cle(3), cle(4)), [] {}, [] {});
  file->executer();
  faux::ConnexionFactice& a = *fabrique->creees[0];
  faux::ConnexionFactice& b = *fabrique->creees[1];
  Ouvreur ouvreurB(cle(3));
  Scelleur scelleurB(cle(4));
  ASSERT_TRUE(b.livrer(
      *scelleurB.sceller(MessageGroupe::besoin(21'000'000, 0).encoder(), SorteEnveloppe::horloge)));
  ASSERT_TRUE(a.livrer(*scelleurRecepteur.sceller(MessageGroupe::besoin(30'000'000, 0).encoder(),
                                                  SorteEnveloppe::horloge)));
  file->avancer(1s);
  const auto annoncesA = latences(a, ouvreurRecepteur);
  ASSERT_FALSE(annoncesA.empty());
  EXPECT_EQ(annoncesA.back(), 36'000'000u) << "30 ms + 3 de marge, au pas de 4 ms";
  EXPECT_EQ(latences(b, ouvreurB).back(), 36'000'000u);

  ASSERT_TRUE(b.livrer(
      *scelleurB.sceller(MessageGroupe::besoin(46'000'000, 0).encoder(), SorteEnveloppe::horloge)));
  file->executer();
  file->avancer(EmetteurAudio::periodeVeille);
  EXPECT_EQ(latences(a, ouvreurRecepteur).back(), 52'000'000u) << "monte aussitôt";
  EXPECT_EQ(latences(b, ouvreurB).back(), 52'000'000u);

  // Un message d'horloge d'une sorte que personne ne connaît n'a aucun effet.
  Octets inconnu = MessageHorloge::question(1).encoder();
  inconnu[3] = 9;
  ASSERT_TRUE(a.livrer(*scelleurRecepteur.sceller(inconnu, SorteEnveloppe::horloge)));
  file->executer();
  EXPECT_TRUE(a.envoyes.empty());

  // La pièce qui reste garde l'heure du groupe : elle ne saute pas quand l'autre s'en va.
  emetteur->retirerVoie(voieB);
  file->avancer(1s);
  EXPECT_EQ(latences(a, ouvreurRecepteur).back(), 52'000'000u);
}

// Une pièce qui dit un besoin que sa file ne tiendrait pas sort du groupe : les autres gardent
// leur latence, elle n'en reçoit plus et joue seule ; ses compteurs le disent. Un besoin sain
// l'y ramène (0 en est un : il ne monte rien).
TEST_F(Banc, UnBesoinHorsDeLaFileMetSaPieceHorsDuGroupe) {
  demarrerPret();
  emetteur->ajouterVoie(
      PointReseau{"127.0.0.1", 50'001}, Liaison::nouvelle(cle(3), cle(4)), [] {}, [] {});
  emetteur->ajouterVoie(
      PointReseau{"127.0.0.1", 50'002}, Liaison::nouvelle(cle(5), cle(6)), [] {}, [] {});
  file->executer();
  ASSERT_EQ(fabrique->creees.size(), 3u);
  faux::ConnexionFactice& a = *fabrique->creees[0];
  faux::ConnexionFactice& b = *fabrique->creees[1];
  faux::ConnexionFactice& c = *fabrique->creees[2];
  Ouvreur ouvreurB(cle(3)), ouvreurC(cle(5));
  Scelleur scelleurB(cle(4)), scelleurC(cle(6));
  const auto dire = [](faux::ConnexionFactice& cx, Scelleur& s, std::uint64_t besoin) {
    ASSERT_TRUE(
        cx.livrer(*s.sceller(MessageGroupe::besoin(besoin, 0).encoder(), SorteEnveloppe::horloge)));
  };
  const auto horsGroupe = [&] { return emetteur->compteursVoies().at(2).compteurs; };

  struct CasBesoin {
    std::uint64_t besoinC;
    bool dedans;
  };
  std::int64_t refuses = 0;
  for (const CasBesoin& cas :
       {CasBesoin{10'000'000'000, false}, CasBesoin{std::uint64_t{1} << 63, false},
        CasBesoin{~std::uint64_t{0} - 1, false}, CasBesoin{0, true},
        CasBesoin{AccordGroupe::besoinMaxNs + 1, false}, CasBesoin{20'000'000, true}}) {
    SCOPED_TRACE(cas.besoinC);
    for (int i = 0; i < 10; ++i) {  // chacun redit son besoin à chaque tic, comme un récepteur
      dire(a, scelleurRecepteur, 30'000'000);
      dire(b, scelleurB, 21'000'000);
      dire(c, scelleurC, cas.besoinC);
      file->avancer(200ms);
    }
    const auto l = latences(a, ouvreurRecepteur);
    ASSERT_FALSE(l.empty());
    EXPECT_EQ(l.back(), 36'000'000u) << "le plus grand besoin admis : 30 ms";
    EXPECT_EQ(latences(b, ouvreurB).back(), 36'000'000u);
    EXPECT_EQ(latences(c, ouvreurC).empty(), !cas.dedans);
    const auto compteurs = horsGroupe();
    EXPECT_EQ(compteurs.horsGroupe, !cas.dedans);
    if (!cas.dedans) refuses += 10;
    EXPECT_EQ(compteurs.besoinsRefuses, refuses);
  }
}

TEST_F(Banc, DeuxVoiesIndependantes) {
  demarrerPret();
  int injoignablesB = 0;
  emetteur->ajouterVoie(
      PointReseau{"127.0.0.1", 50'001}, Liaison::nouvelle(cle(3), cle(4)), [] {},
      [&] { ++injoignablesB; });
  file->executer();
  ASSERT_EQ(fabrique->creees.size(), 2u);
  faux::ConnexionFactice& a = *fabrique->creees[0];
  faux::ConnexionFactice& b = *fabrique->creees[1];
  Ouvreur ouvreurB(cle(3));
  const auto sequences = [](faux::ConnexionFactice& c, Ouvreur& o) {
    std::vector<std::uint32_t> s;
    for (const Octets& d : c.envoyes)
      if (const auto ouvert = o.ouvrir(d))
        s.push_back(PaquetAudio::lire(ouvert->contenu)->sequence());
    c.envoyes.clear();
    return s;
  };
  ecrire(2 * 1280, horloge.hoteNs());
  file->avancer(5ms);
  EXPECT_EQ(b.envoyes.size(), 2u);
  EXPECT_EQ(sequences(b, ouvreurRecepteur).size(), 0u) << "pas sous les clés de l'autre voie";
  EXPECT_EQ(sequences(a, ouvreurRecepteur), (std::vector<std::uint32_t>{0, 1}));

  b.jouerEtat({Cas::echec, ErreurReseau{DomaineErreurReseau::posix, ENETUNREACH}});
  ecrire(1280, horloge.hoteNs());
  file->avancer(5ms);
  EXPECT_EQ(sequences(a, ouvreurRecepteur), (std::vector<std::uint32_t>{2}));
  EXPECT_EQ(emetteur->compteursVoies().at(1).compteurs.blocsJetes, 1);
  file->avancer(1s + EmetteurAudio::periodeVeille);
  ASSERT_EQ(fabrique->creees.size(), 3u) << "seule la voie en panne refait sa connexion";
  livrer(SorteEnveloppe::audio, Octets{});  // la voie principale entend son récepteur
  ecrire(1280, horloge.hoteNs());
  file->avancer(5ms);
  EXPECT_EQ(sequences(*fabrique->creees[2], ouvreurB), (std::vector<std::uint32_t>{2}));
  EXPECT_EQ(sequences(a, ouvreurRecepteur), (std::vector<std::uint32_t>{3}));

  file->avancer(30s);
  EXPECT_EQ(injoignablesB, 1);
  EXPECT_EQ(injoignables, 0);
  EXPECT_EQ(emetteur->compteursVoies().size(), 1u);
  EXPECT_TRUE(fabrique->creees[2]->annulee);
  EXPECT_FALSE(a.annulee);
  ecrire(1280, horloge.hoteNs());
  file->avancer(5ms);
  EXPECT_EQ(sequences(a, ouvreurRecepteur).size(), 1u) << "la voie principale envoie toujours";
}

// Retirer la voie de la création laisse l'autre, que `compteurs()` suit dès lors ; retirer la
// dernière arrête l'émetteur sans appeler de rappel, et elle reste lisible. Une voie ajoutée
// à l'émetteur arrêté renonce aussitôt.
TEST_F(Banc, VoieRetireeParSonIdentifiant) {
  demarrerPret();
  int injoignablesB = 0;
  int injoignablesC = 0;
  const auto b = emetteur->ajouterVoie(
      PointReseau{"127.0.0.1", 50'001}, Liaison::nouvelle(cle(3), cle(4)), [] {},
      [&] { ++injoignablesB; });
  file->executer();
  EXPECT_EQ(b, 1u);
  faux::ConnexionFactice& a = *fabrique->creees.at(0);
  faux::ConnexionFactice& cb = *fabrique->creees.at(1);
  emetteur->retirerVoie(0);
  file->executer();
  EXPECT_TRUE(a.annulee);
  ecrire(2 * 1280, horloge.hoteNs());
  file->executer();
  EXPECT_TRUE(a.envoyes.empty());
  EXPECT_EQ(cb.envoyes.size(), 2u);
  ASSERT_EQ(emetteur->compteursVoies().size(), 1u);
  EXPECT_EQ(emetteur->compteursVoies()[0].id, b);
  EXPECT_EQ(emetteur->compteurs().paquetsEnvoyes, 2);

  emetteur->retirerVoie(b);
  file->executer();
  EXPECT_TRUE(cb.annulee);
  ecrire(1280, horloge.hoteNs());
  file->avancer(1s);
  EXPECT_EQ(cb.envoyes.size(), 2u) << "arrêté";
  EXPECT_EQ(tampon->disponible(), 1280);
  EXPECT_EQ(emetteur->compteurs().paquetsEnvoyes, 2) << "la dernière reste lisible";
  EXPECT_EQ(injoignables + injoignablesB, 0) << "retirer n'appelle aucun rappel";
  EXPECT_EQ(emetteur->ajouterVoie(
                PointReseau{"127.0.0.1", 50'002}, Liaison::nouvelle(cle(5), cle(6)), [] {},
                [&] { ++injoignablesC; }),
            2u);
  file->executer();
  EXPECT_EQ(injoignablesC, 1);
  EXPECT_EQ(fabrique->creees.size(), 2u);
}

}  // namespace
}  // namespace ravlo
