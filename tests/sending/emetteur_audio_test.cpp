#include "link/sending/emetteur_audio.hpp"

#include <gtest/gtest.h>

#include "faux/connexion_factice.hpp"
#include "faux/file_manuelle.hpp"
#include "protocol/lecteur_octets.hpp"
#include "protocol/message_fin.hpp"
#include "protocol/message_horloge.hpp"
#include "protocol/paquet_audio.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
using Cas = EtatConnexion::Cas;

const Cle versRecepteur{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
const Cle versEmetteur{2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
                       2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2};

// Un émetteur sur une file manuelle, avec le récepteur d'en face (ses clés inversées).
struct Banc : ::testing::Test {
  faux::HorlogeManuelle horloge;
  std::shared_ptr<faux::FileManuelle> file = std::make_shared<faux::FileManuelle>(horloge);
  std::shared_ptr<faux::FabriqueFactice> fabrique = std::make_shared<faux::FabriqueFactice>();
  std::shared_ptr<TamponAudio> tampon = std::make_shared<TamponAudio>(96'000);
  Ouvreur ouvreurRecepteur{versRecepteur};
  Scelleur scelleurRecepteur{versEmetteur};
  int arrets = 0;
  int injoignables = 0;
  std::shared_ptr<EmetteurAudio> emetteur = EmetteurAudio::creer(
      tampon, PointReseau{"127.0.0.1", 50'000}, Liaison::nouvelle(versRecepteur, versEmetteur),
      [this] { ++arrets; }, [this] { ++injoignables; },
      EmetteurAudio::Plateforme{file, fabrique, &horloge, "fr_FR"});

  faux::ConnexionFactice& connexion() { return fabrique->derniere(); }

  // Comme la vraie connexion : préparation puis prête pendant `demarrer()` même.
  void demarrerPret() {
    fabrique->etatsAuDemarrage = {{Cas::preparation, std::nullopt}, {Cas::prete, std::nullopt}};
    emetteur->demarrer();
    file->executer();
  }

  void ecrire(std::size_t octets, std::optional<InstantNs> heure) {
    ASSERT_TRUE(tampon->ecrire(Octets(octets, 0x42), heure));
  }

  std::vector<PaquetAudio> paquetsRecus() {
    std::vector<PaquetAudio> paquets;
    for (const Octets& d : connexion().envoyes) {
      const auto ouvert = ouvreurRecepteur.ouvrir(d);
      if (!ouvert || ouvert->sorte != SorteEnveloppe::audio) continue;
      EXPECT_EQ(d.size(), 1324u);
      paquets.push_back(*PaquetAudio::lire(ouvert->contenu));
    }
    connexion().envoyes.clear();
    return paquets;
  }

  void livrer(SorteEnveloppe sorte, VueOctets contenu) {
    ASSERT_TRUE(connexion().livrer(*scelleurRecepteur.sceller(contenu, sorte)));
    file->executer();
  }
};

TEST_F(Banc, ChaqueTicEnvoieTousLesBlocsEntiers) {
  demarrerPret();
  const InstantNs capture = horloge.hoteNs() - 2'000'000;
  ecrire(2600, capture);
  file->avancer(5ms);
  auto paquets = paquetsRecus();
  ASSERT_EQ(paquets.size(), 2u);
  EXPECT_EQ(tampon->disponible(), 40);
  EXPECT_EQ(paquets[0].sequence(), 0u);
  EXPECT_EQ(paquets[1].sequence(), 1u);
  EXPECT_EQ(paquets[0].horodatageNanosecondes(), capture);
  EXPECT_EQ(paquets[1].horodatageNanosecondes(), capture + 6'666'666) << "320 trames plus tard";
  EXPECT_EQ(paquets[0].nombreDeTrames(), 320u);

  tampon->jeter(40);
  ecrire(3840, std::nullopt);
  file->avancer(5ms);
  paquets = paquetsRecus();
  ASSERT_EQ(paquets.size(), 3u);
  EXPECT_EQ(paquets[2].sequence(), 4u);
  // Sans heure de capture : l'heure de l'emballage, et compté à part.
  EXPECT_EQ(paquets[0].horodatageNanosecondes(), horloge.hoteNs());
  ecrire(1279, capture);
  file->avancer(5ms);
  EXPECT_TRUE(paquetsRecus().empty());
  const auto c = emetteur->compteurs();
  EXPECT_EQ(c.paquetsEnvoyes, 5);
  EXPECT_EQ(c.paquetsSansHeureDeCapture, 3);
  EXPECT_TRUE(c.connexionPrete);
}

TEST(EmetteurAudio, LaSequenceRepartDeZeroApres2Puissance32Moins1) {
  faux::HorlogeManuelle horloge;
  auto file = std::make_shared<faux::FileManuelle>(horloge);
  auto fabrique = std::make_shared<faux::FabriqueFactice>();
  auto tampon = std::make_shared<TamponAudio>(96'000);
  auto emetteur = EmetteurAudio::creer(
      tampon, PointReseau{"127.0.0.1", 50'000}, Liaison::nouvelle(versRecepteur, versEmetteur),
      [] {}, [] {}, EmetteurAudio::Plateforme{file, fabrique, &horloge, "C", UINT32_MAX - 1});
  emetteur->demarrer();
  file->executer();
  fabrique->derniere().jouerEtat({Cas::prete, std::nullopt});
  ASSERT_TRUE(tampon->ecrire(Octets(3 * 1280, 0), horloge.hoteNs()));
  file->avancer(5ms);
  Ouvreur ouvreur(versRecepteur);
  std::vector<std::uint32_t> sequences;
  for (const Octets& d : fabrique->derniere().envoyes) {
    sequences.push_back(PaquetAudio::lire(ouvreur.ouvrir(d)->contenu)->sequence());
  }
  EXPECT_EQ(sequences, (std::vector<std::uint32_t>{UINT32_MAX - 1, UINT32_MAX, 0}));
}

TEST_F(Banc, RecepteurMuetATroisSecondesExactementPuisPerduA600) {
  demarrerPret();
  file->avancer(3s - 5ms);
  EXPECT_FALSE(emetteur->compteurs().iPhoneMuet);
  file->avancer(5ms);
  EXPECT_TRUE(emetteur->compteurs().iPhoneMuet);
  // Une enveloppe authentique, de n'importe quelle sorte, est un signe de vie…
  livrer(SorteEnveloppe::audio, Octets{});
  file->avancer(5ms);
  EXPECT_FALSE(emetteur->compteurs().iPhoneMuet);
  // …une enveloppe falsifiée non.
  Octets faux = *Scelleur(versRecepteur).sceller(Octets{}, SorteEnveloppe::audio);
  ASSERT_TRUE(connexion().livrer(faux));
  file->avancer(3s);
  EXPECT_TRUE(emetteur->compteurs().iPhoneMuet);
  EXPECT_EQ(connexion().receptionsArmees(), 1u)
      << "la réception est réarmée après chaque datagramme";

  file->avancer(600s - 3s - 10ms);
  EXPECT_EQ(injoignables, 0);
  file->avancer(10ms);
  EXPECT_EQ(injoignables, 1);
  EXPECT_TRUE(connexion().annulee);
  file->avancer(10s);
  EXPECT_EQ(injoignables, 1) << "la minuterie est arrêtée";
}

TEST_F(Banc, QuestionDHorlogeEtMessageDeFin) {
  demarrerPret();
  const InstantNs arrivee = horloge.hoteNs();
  livrer(SorteEnveloppe::horloge, MessageHorloge::question(777).encoder());
  ASSERT_EQ(connexion().envoyes.size(), 1u);
  const auto reponse = ouvreurRecepteur.ouvrir(connexion().envoyes[0]);
  ASSERT_TRUE(reponse && reponse->sorte == SorteEnveloppe::horloge);
  const auto message = MessageHorloge::lire(reponse->contenu);
  ASSERT_TRUE(message.has_value());
  EXPECT_EQ(message->sorte, MessageHorloge::Sorte::reponse);
  EXPECT_EQ(message->envoiQuestion, 777u);
  EXPECT_EQ(message->receptionQuestion, arrivee);
  EXPECT_LE(message->receptionQuestion, message->envoiReponse);
  connexion().envoyes.clear();
  // Une réponse reçue, ou un contenu d'horloge illisible, ne reçoit rien.
  livrer(SorteEnveloppe::horloge, MessageHorloge::question(1).reponse(2, 3).encoder());
  livrer(SorteEnveloppe::horloge, Octets{1, 2, 3});
  EXPECT_TRUE(connexion().envoyes.empty());

  // Un contenu « fin » qui n'est pas le message de fin est ignoré.
  livrer(SorteEnveloppe::fin, Octets{'R', 'F', 1, 0});
  EXPECT_EQ(arrets, 0);
  livrer(SorteEnveloppe::fin, MessageFin::donnees);
  EXPECT_EQ(arrets, 1);
  EXPECT_EQ(connexion().receptionsArmees(), 0u) << "plus d'écoute après la fin";
  ecrire(1280, horloge.hoteNs());
  file->avancer(5ms);
  EXPECT_EQ(paquetsRecus().size(), 1u) << "l'envoi continue jusqu'à l'arrêt par le propriétaire";
}

TEST_F(Banc, ReceptionEnErreurReArmeeApres500msSurLaConnexionCouranteSeulement) {
  demarrerPret();
  ASSERT_TRUE(connexion().livrerErreur({DomaineErreurReseau::posix, ECONNREFUSED}));
  file->executer();
  EXPECT_EQ(connexion().receptionsArmees(), 0u);
  file->avancer(499ms);
  EXPECT_EQ(connexion().receptionsArmees(), 0u);
  file->avancer(1ms);
  EXPECT_EQ(connexion().receptionsArmees(), 1u);
}

// Comme une socket UDP connectée : chaque connexion refaite est prête aussitôt, que le
// récepteur écoute ou non ; seule sa réponse finit la panne.
TEST_F(Banc, PanneRefaiteAuPlusUneFoisParSecondeFinieParLeRecepteurPasParPrete) {
  demarrerPret();
  const ErreurReseau refus{DomaineErreurReseau::posix, ECONNREFUSED};
  connexion().jouerEtat({Cas::echec, ErreurReseau{DomaineErreurReseau::posix, ENETUNREACH}});
  file->executer();
  auto c = emetteur->compteurs();
  EXPECT_FALSE(c.connexionPrete);
  ASSERT_TRUE(c.erreur.has_value());
  // La clé : la table de ce processus n'est liée à aucun catalogue.
  EXPECT_EQ(*c.erreur,
            "Ce Mac n'est connecté à aucun réseau. Active le Wi-Fi et rejoins le même "
            "réseau que l'iPhone.");
  // Hors connexion, l'anneau se vide par blocs entiers : pas de rafale périmée au retour.
  ecrire(3 * 1280 + 100, horloge.hoteNs());
  file->avancer(5ms);
  EXPECT_EQ(emetteur->compteurs().blocsJetes, 3);
  EXPECT_EQ(tampon->disponible(), 100);
  // Premier tic en panne : rien n'est refait avant une seconde.
  file->avancer(990ms);
  EXPECT_EQ(fabrique->creees.size(), 1u);
  file->avancer(10ms);
  ASSERT_EQ(fabrique->creees.size(), 2u);
  EXPECT_TRUE(fabrique->creees[0]->annulee);
  c = emetteur->compteurs();
  EXPECT_EQ(c.connexionsRefaites, 1);
  EXPECT_TRUE(c.connexionPrete);
  EXPECT_FALSE(c.erreur.has_value());
  // Le récepteur répond : la panne est finie, la suivante repart de zéro.
  livrer(SorteEnveloppe::audio, Octets{});
  file->avancer(29s);

  // Port fermé pour de bon : chaque connexion refaite est prête puis refusée, au plus une
  // fois par seconde, et l'abandon tombe 30 s après le début de cette panne-ci.
  connexion().jouerEtat({Cas::attente, refus});
  file->avancer(5ms);
  const InstantNs debutPanne = horloge.hoteNs();
  std::size_t creees = fabrique->creees.size();
  while (horloge.hoteNs() < debutPanne + 30'000'000'000 - 5'000'000) {
    file->avancer(5ms);
    if (fabrique->creees.size() == creees) continue;
    creees = fabrique->creees.size();
    ASSERT_GE(horloge.hoteNs() - debutPanne, 1'000'000'000u * (creees - 2));
    connexion().jouerEtat({Cas::attente, refus});
  }
  EXPECT_EQ(fabrique->creees.size(), 31u) << "29 reprises";
  EXPECT_EQ(injoignables, 0);
  file->avancer(5ms);
  EXPECT_EQ(injoignables, 1);
  EXPECT_TRUE(connexion().annulee);
  file->avancer(5s);
  EXPECT_EQ(injoignables, 1);
}

TEST_F(Banc, PireAttentePublieeChaqueSecondeQuandLaConnexionEstPrete) {
  demarrerPret();  // premier tic : publie 0 et ouvre la fenêtre
  // Un bloc par tic, capturé 3 ms avant son écriture (7,5 ms pour l'un) ; le tic suivant
  // l'envoie 5 ms plus tard : attentes de 8 ms, et 12,5 ms pour l'un.
  for (int i = 0; i < 200; ++i) {
    ecrire(1280, horloge.hoteNs() - (i == 40 ? 7'500'000 : 3'000'000));
    file->avancer(5ms);
  }
  file->avancer(5ms);  // le tic qui clôt la seconde
  EXPECT_DOUBLE_EQ(emetteur->compteurs().pireAttenteMs, 12.5);
  // Une seconde de blocs sans heure, ou datés 1 ms après le tic qui les envoie (la sortie
  // les joue un peu plus tard) : attente nulle, 0 publié.
  for (int i = 0; i < 200; ++i) {
    ecrire(1280, i % 2 == 0 ? std::nullopt : std::optional(horloge.hoteNs() + 6'000'000));
    file->avancer(5ms);
  }
  EXPECT_DOUBLE_EQ(emetteur->compteurs().pireAttenteMs, 0.0);
  // Connexion pas prête : plus de publication, l'ancienne valeur reste.
  ecrire(1280, horloge.hoteNs() - 9'000'000);
  file->avancer(5ms);
  connexion().jouerEtat({Cas::attente, ErreurReseau{DomaineErreurReseau::posix, ECONNREFUSED}});
  file->avancer(990ms);
  EXPECT_DOUBLE_EQ(emetteur->compteurs().pireAttenteMs, 0.0);
}

TEST_F(Banc, DemarrerDeuxFoisNeDoublePasEtArreterPuisLacherAnnuleTout) {
  emetteur->demarrer();
  emetteur->demarrer();
  file->executer();
  EXPECT_EQ(fabrique->creees.size(), 1u);
  connexion().jouerEtat({Cas::prete, std::nullopt});
  ecrire(1280, horloge.hoteNs());
  file->avancer(5ms);
  EXPECT_EQ(paquetsRecus().size(), 1u) << "un seul tic par période";

  std::weak_ptr<EmetteurAudio> faible = emetteur;
  emetteur->arreter();
  emetteur.reset();
  EXPECT_FALSE(faible.expired()) << "l'étape d'arrêt postée tient l'émetteur";
  file->executer();
  EXPECT_TRUE(faible.expired());
  EXPECT_TRUE(connexion().annulee);
  ecrire(1280, horloge.hoteNs());
  file->avancer(1s);
  EXPECT_TRUE(paquetsRecus().empty());
  EXPECT_EQ(arrets + injoignables, 0) << "arrêter n'appelle aucun rappel";
}

}  // namespace
}  // namespace ravlo
