// SPDX-License-Identifier: MPL-2.0
// La diffusion face à des récepteurs joués par le test, sur une file manuelle : l'accord de
// latence du groupe, l'émetteur d'une pièce et ses voies, l'assemblage d'une diffusion avec sa
// source, le modèle qui surveille la capture.
#include <gtest/gtest.h>

#include <algorithm>

#include <limits>
#include <utility>
#include <vector>

#include "faux/capture_fausse.hpp"
#include "faux/connexion_factice.hpp"
#include "faux/file_manuelle.hpp"
#include "faux/magasin_reglages_memoire.hpp"
#include "link/diffusion/accord_groupe.hpp"
#include "link/diffusion/diffusion.hpp"
#include "link/diffusion/diffusion_model.hpp"
#include "link/diffusion/emetteur_audio.hpp"
#include "protocol/messages/canal_horloge.hpp"
#include "protocol/messages/message_fin.hpp"
#include "protocol/messages/message_releve.hpp"
#include "protocol/messages/paquet_audio.hpp"
#include "protocol/scellement/liaison.hpp"

namespace ravlo {
namespace {

using namespace std::chrono_literals;
constexpr std::uint64_t ms = 1'000'000;

Cle cle(std::uint8_t octet) {
  Cle c;
  c.fill(octet);
  return c;
}

// Le récepteur d'en face de la pièce `n` (0, 1, 2…) : l'envoi scelle vers lui sous la clé
// 2n+1, lui répond sous 2n+2.
struct EnFace {
  explicit EnFace(std::uint8_t n)
      : liaison(Liaison::nouvelle(cle(2 * n + 1), cle(2 * n + 2))),
        ouvreur(cle(2 * n + 1)),
        scelleur(cle(2 * n + 2)) {}

  // Ce que `c` a envoyé de sorte `sorte` et que ses clés ouvrent ; `c` oublie tous ses envois.
  std::vector<Octets> recus(faux::ConnexionFactice& c, SorteEnveloppe sorte) {
    std::vector<Octets> contenus;
    for (const Octets& d : c.envoyes)
      if (auto o = ouvreur.ouvrir(d); o && o->sorte == sorte) contenus.push_back(o->contenu);
    c.envoyes.clear();
    return contenus;
  }
  // Faux si `c` n'écoute pas.
  bool dire(faux::ConnexionFactice& c, VueOctets contenu, SorteEnveloppe sorte) {
    return c.livrer(*scelleur.sceller(contenu, sorte));
  }

  Liaison liaison;
  Ouvreur ouvreur;
  Scelleur scelleur;
};

constexpr InstantNs t0 = 1'000'000'000'000;

// Monte aussitôt, tient 30 s, descend en une fois un demi-pas au-dessus du plus haut besoin
// de la fenêtre, attend une fenêtre entière avant la descente suivante ; un besoin qui hésite
// au bord d'un pas ne la fait pas osciller. Un besoin que la file d'un récepteur ne tient pas
// ne compte pas : seul, il ne fait pas de groupe (2⁶⁴ − 2 faisait le tour des entiers
// jusqu'à 4 ms) ; après un besoin sain, il ne le fait pas monter (10 s le portaient à
// 10 004 ms). La borne elle-même passe, et reste sous ce que tient un récepteur.
TEST(AccordGroupe, MonteAussitotTientTrenteSecondesEtDescendDUnPas) {
  constexpr std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
  using Point = std::pair<double, std::uint64_t>;  ///< (seconde, ns) ; latence 0 : pas de groupe
  struct Ligne {
    const char* nom;
    std::vector<Point> besoins;   ///< dès chaque seconde
    std::vector<Point> attendus;  ///< la latence à chaque seconde
    int changements;              ///< de la latence, sur toute la ligne
    std::size_t pieces = 2;
  };
  // De part et d'autre d'un bord de pas (27,9 et 28,1 ms voulus), chaque seconde ou toutes les
  // 40 s : sans la marge, le groupe descendrait à 28 ms à chaque besoin bas tenu 30 s.
  const auto hesitant = [](int periodeS) {
    std::vector<Point> b;
    for (int s = 0; s < 200; s += periodeS)
      b.push_back({s * 1.0, (s / periodeS % 2 ? 24'900 : 25'100) * ms / 1000});
    return b;
  };
  // clang-format off
  const std::vector<Ligne> lignes = {
      {"monte aussitôt, tient, descend d'un pas avec sa marge",
       {{0, 22 * ms}, {5, 30 * ms}, {10, 24 * ms}},
       {{0, 28 * ms}, {4.9, 28 * ms}, {5, 36 * ms}, {10, 36 * ms}, {38.9, 36 * ms}, {39, 32 * ms},
        {90, 32 * ms}}, 3},
      {"une descente en une fois, la suivante une fenêtre plus tard",
       {{0, 40 * ms}, {1, 20 * ms}, {2, 2 * ms}},
       {{29.9, 44 * ms}, {30, 28 * ms}, {58.9, 28 * ms}, {59, 8 * ms}}, 3},
      {"un besoin qui remonte pendant l'attente la repousse",
       {{0, 30 * ms}, {10, 20 * ms}, {20, 30 * ms}, {21, 20 * ms}},
       {{45, 36 * ms}, {49.9, 36 * ms}, {50, 28 * ms}}, 2},
      {"un besoin qui hésite chaque seconde", hesitant(1), {{0, 32 * ms}, {199, 32 * ms}}, 1},
      {"un besoin qui hésite toutes les 40 s", hesitant(40), {{0, 32 * ms}, {199, 32 * ms}}, 1},
      {"une pièce seule n'est pas un groupe", {{0, 30 * ms}}, {{0, 0}, {40, 0}}, 0, 1},
      {"2⁶⁴ − 1, seul", {{0, max}}, {{0, 0}, {5, 0}}, 0},
      {"2⁶⁴ − 2, seul", {{0, max - 1}}, {{0, 0}, {5, 0}}, 0},
      {"2⁶³ ns après un besoin sain", {{0, 30 * ms}, {1, std::uint64_t{1} << 63}}, {{5, 36 * ms}}, 1},
      {"juste au-delà de la borne", {{0, 30 * ms}, {1, AccordGroupe::besoinMaxNs + 1}}, {{5, 36 * ms}}, 1},
      // 6 693 ms, plus 3, déjà au pas : sous les 6 700 ms que tient un récepteur.
      {"la borne", {{0, AccordGroupe::besoinMaxNs}}, {{0, 6'696 * ms}}, 1},
  };
  // clang-format on
  for (const auto& c : lignes) {
    SCOPED_TRACE(c.nom);
    AccordGroupe accord;
    std::optional<std::uint64_t> avant;
    int changements = 0;
    auto attendu = c.attendus.begin();
    for (int dixieme = 0; attendu != c.attendus.end(); ++dixieme) {
      const double s = dixieme / 10.0;
      std::optional<std::uint64_t> besoin;
      for (const auto& [depuisS, ns] : c.besoins)
        if (depuisS <= s + 1e-9) besoin = ns;
      accord.accorder(c.pieces, besoin, t0 + static_cast<InstantNs>(dixieme) * 100 * ms);
      changements += accord.latenceNs() != avant;
      avant = accord.latenceNs();
      if (attendu->first <= s + 1e-9) {
        EXPECT_EQ(accord.latenceNs().value_or(0), attendu->second) << "à " << s << " s";
        ++attendu;
      }
    }
    EXPECT_EQ(changements, c.changements);
  }
}

using EtatCas = EtatConnexion::Cas;
constexpr auto paquet = static_cast<std::int64_t>(flux::octetsParPaquet);
constexpr auto veille = EmetteurAudio::periodeVeille;
const ErreurReseau reseauAbsent{DomaineErreurReseau::posix, ENETUNREACH};

// Une file manuelle, fil principal et file des émetteurs, des connexions factices et le
// récepteur d'en face de chaque pièce ; un émetteur vers la première.
struct Banc : ::testing::Test {
  faux::HorlogeManuelle horloge;
  std::shared_ptr<faux::FileManuelle> file = std::make_shared<faux::FileManuelle>(horloge);
  std::shared_ptr<faux::FabriqueFactice> fabrique = std::make_shared<faux::FabriqueFactice>();
  std::shared_ptr<TamponAudio> tampon = std::make_shared<TamponAudio>(96'000);
  EnFace recepteurs[3]{EnFace{0}, EnFace{1}, EnFace{2}};
  EnFace &a = recepteurs[0], &b = recepteurs[1];
  int injoignables = 0;
  std::shared_ptr<EmetteurAudio> emetteur = creer();

  ~Banc() override { file->executer(); }

  std::shared_ptr<EmetteurAudio> creer() {
    return EmetteurAudio::creer(
        tampon, PointReseau{"127.0.0.1", 50'000}, a.liaison, [] {}, [this] { ++injoignables; },
        EmetteurAudio::Plateforme{file, fabrique, &horloge});
  }
  faux::ConnexionFactice& connexion(std::size_t i) { return *fabrique->creees.at(i); }
  // Comme la vraie connexion : préparation puis prête pendant `demarrer()` même. Deux fois :
  // le second ne double rien.
  void demarrerPret() {
    fabrique->etatsAuDemarrage = {{EtatCas::preparation, std::nullopt},
                                  {EtatCas::prete, std::nullopt}};
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
  // Les paquets audio que `r` a reçus sur la connexion `i`, qui les oublie.
  std::vector<PaquetAudio> paquets(EnFace& r, std::size_t i) {
    std::vector<PaquetAudio> p;
    for (const Octets& o : r.recus(connexion(i), SorteEnveloppe::audio))
      p.push_back(*PaquetAudio::lire(o));
    return p;
  }
  // La dernière latence de groupe annoncée à la pièce `i`, 0 si aucune.
  std::uint64_t latence(std::size_t i) {
    std::uint64_t l = 0;
    for (const Octets& o : recepteurs[i].recus(connexion(i), SorteEnveloppe::horloge))
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
  ASSERT_EQ(paquets(a, 0).size(), 1u);
  const InstantNs capture = horloge.hoteNs() - 2'000'000;
  ecrire(paquet - 4, capture);
  EXPECT_TRUE(paquets(a, 0).empty()) << "pas de paquet avant ses trames";
  ecrire(paquet + 44, capture + static_cast<InstantNs>(TamponAudio::dureeNs(paquet - 4)));
  auto p = paquets(a, 0);
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
  p = paquets(a, 0);
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
    const std::size_t i = fabrique->creees.size() - 1;
    auto& cx = connexion(i);
    ecrire(paquet, horloge.hoteNs());
    ASSERT_EQ(paquets(a, i).size(), 1u);
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

// Sans aucun son, la veille seule surveille le récepteur : toute enveloppe authentique est un
// signe de vie, muet passé 3 s sans, perdu à 600 s. Après une reprise, la preuve repart toutes
// les 700 ms jusqu'à la première qui s'ouvre. Une enveloppe falsifiée n'est ni l'un ni l'autre.
TEST_F(Banc, PreuveRenvoyeeRecepteurMuetATroisSecondesPuisPerduA600) {
  a.liaison.aRenvoyer = Octets(28, 0x50);
  emetteur = creer();
  demarrerPret();
  const auto preuves = [&] {
    return std::ranges::count(connexion(0).envoyes, a.liaison.aRenvoyer);
  };
  const auto muet = [&] { return emetteur->compteursVoie(0)->recepteurMuet; };
  file->avancer(650ms);
  EXPECT_EQ(preuves(), 0) << "le dialogue vient de l'envoyer";
  file->avancer(100ms);
  EXPECT_EQ(preuves(), 1);
  file->avancer(1400ms);
  EXPECT_EQ(preuves(), 3);
  ASSERT_TRUE(connexion(0).livrer(*Scelleur(cle(1)).sceller(Octets{}, SorteEnveloppe::audio)));
  file->avancer(700ms);
  EXPECT_EQ(preuves(), 4);
  file->avancer(3s - veille - 2850ms);
  EXPECT_FALSE(muet());
  file->avancer(veille);
  EXPECT_TRUE(muet());
  for (const auto sorte : {SorteEnveloppe::horloge, SorteEnveloppe::audio}) {
    ASSERT_TRUE(a.dire(connexion(0), Octets{}, sorte));
    file->avancer(veille);
    EXPECT_FALSE(muet());
    file->avancer(3s);
    EXPECT_TRUE(muet());
  }
  EXPECT_EQ(preuves(), 4);
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
// récepteur écoute ou non, au plus une fois par seconde ; seule sa réponse finit la panne.
// Port fermé pour de bon : chaque connexion refaite est prête puis refusée, et l'abandon
// tombe 30 s après le début de cette panne-ci, même si le son coule et réveille l'émetteur.
TEST_F(Banc, PanneRefaiteAuPlusUneFoisParSecondeFinieParLeRecepteurPasParPrete) {
  demarrerPret();
  connexion(0).jouerEtat({EtatCas::echec, reseauAbsent});
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
  ASSERT_TRUE(a.dire(connexion(1), Octets{}, SorteEnveloppe::audio));
  ecrire(paquet, horloge.hoteNs());
  const auto p = paquets(a, 1);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].sequence(), 0u) << "les blocs jetés n'ont pas pris de numéro";
  file->avancer(30s);
  EXPECT_EQ(injoignables, 0);

  const ErreurReseau refus{DomaineErreurReseau::posix, ECONNREFUSED};
  fabrique->derniere().jouerEtat({EtatCas::attente, refus});
  ecrire(paquet, horloge.hoteNs());
  const InstantNs debutPanne = horloge.hoteNs();
  std::size_t creees = fabrique->creees.size();
  while (horloge.hoteNs() < debutPanne + 30'000'000'000 - 5'000'000) {
    file->avancer(5ms);
    ecrire(paquet, horloge.hoteNs());
    if (fabrique->creees.size() == creees) continue;
    creees = fabrique->creees.size();
    fabrique->derniere().jouerEtat({EtatCas::attente, refus});
  }
  EXPECT_EQ(fabrique->creees.size(), 31u) << "29 reprises";
  EXPECT_EQ(injoignables, 0) << "prête ne finit pas la panne";
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
  EnFace& c = recepteurs[2];
  demarrerPret();
  const auto besoin = [](std::uint64_t ns) { return MessageGroupe::besoin(ns, 0).encoder(); };
  ASSERT_TRUE(a.dire(connexion(0), besoin(30'000'000), SorteEnveloppe::horloge));
  file->avancer(1s);
  EXPECT_EQ(latence(0), 0u) << "une pièce seule joue seule";
  const auto voieB = ajouter(b, 50'001);
  ajouter(c, 50'002);
  std::int64_t refuses = 0;
  for (const auto& [besoinC, dedans] :
       std::vector<std::pair<std::uint64_t, bool>>{{~std::uint64_t{0} - 1, false},
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
    EXPECT_EQ(latence(0), 36'000'000u) << "30 ms + 3 de marge, au pas de 4 ms";
    EXPECT_EQ(latence(1), 36'000'000u);
    EXPECT_EQ(latence(2), dedans ? 36'000'000u : 0u);
    const auto v = emetteur->compteursVoies().at(2).compteurs;
    EXPECT_EQ(v.horsGroupe, !dedans);
    EXPECT_EQ(v.besoinsRefuses, refuses += dedans ? 0 : 10);
  }
  ASSERT_TRUE(b.dire(connexion(1), besoin(46'000'000), SorteEnveloppe::horloge));
  file->avancer(veille);
  EXPECT_EQ(latence(0), 52'000'000u) << "monte aussitôt";
  EXPECT_EQ(latence(1), 52'000'000u);
  // Un message d'horloge d'une sorte que personne ne connaît n'a aucun effet.
  Octets inconnu = MessageHorloge::question(1).encoder();
  inconnu[3] = 9;
  ASSERT_TRUE(a.dire(connexion(0), inconnu, SorteEnveloppe::horloge));
  file->executer();
  EXPECT_TRUE(connexion(0).envoyes.empty());
  // Les pièces qui restent gardent l'heure du groupe : elle ne saute pas quand une s'en va.
  emetteur->retirerVoie(voieB);
  file->avancer(1s);
  EXPECT_EQ(latence(0), 52'000'000u);
}

using Fin = Diffusion::Fin;
using Numero = Diffusion::NumeroPiece;

// Une source dont le test règle tout ; elle écrit dans l'anneau ce qu'on lui dit de livrer.
struct SourceJouee final : SourceDiffusion {
  explicit SourceJouee(std::shared_ptr<TamponAudio> t) : tampon(std::move(t)) {}
  std::expected<void, ErreurCapture> demarrer() override {
    if (refus) return std::unexpected(*refus);
    return {};
  }
  // Comme une vraie capture : arrêtée, elle ne dit plus sa panne.
  void arreter() override {
    ++arrets;
    enPanne.reset();
  }
  std::expected<void, ErreurCapture> relancer() override {
    ++relances;
    return demarrer();
  }
  std::int64_t trames() const override { return livrees; }
  std::optional<ErreurCapture> panne() const override { return enPanne; }
  bool epuisee() const override { return fini; }
  float niveau() const override { return 0.5F; }
  bool changerSilence(bool) override { return true; }
  void livrer(std::int64_t n) {
    tampon->ecrire(Octets(static_cast<std::size_t>(n) * flux::octetsParTrame, 0), std::nullopt);
    livrees += n;
  }

  std::shared_ptr<TamponAudio> tampon;
  std::optional<ErreurCapture> refus, enPanne;
  bool fini = false;
  int arrets = 0, relances = 0;
  std::int64_t livrees = 0;
};

struct AssemblageDiffusion : Banc {
  SourceJouee* source = nullptr;
  std::vector<Fin> fins;
  int changements = 0;

  // La pièce 0, « Salon », et peut-être « Cuisine », prêtes à leur démarrage.
  std::shared_ptr<Diffusion> creer(bool relancer, std::optional<ErreurCapture> refus = {},
                                   bool cuisine = false) {
    fabrique->creees.clear();
    fabrique->points.clear();
    fabrique->etatsAuDemarrage = {{EtatConnexion::Cas::prete, std::nullopt}};
    auto d = Diffusion::creer(
        {file.get(), file, fabrique, &horloge, relancer},
        [&](std::shared_ptr<TamponAudio> t) {
          auto s = std::make_unique<SourceJouee>(std::move(t));
          s->refus = refus;
          source = s.get();
          return s;
        },
        PointReseau{"127.0.0.1", 50'000}, recepteurs[0].liaison, "Salon");
    if (cuisine) {
      EXPECT_EQ(d->ajouterPiece(PointReseau{"127.0.0.1", 50'001}, b.liaison, "Cuisine"), 1u);
    }
    fins.clear();
    d->quandFin([this](Fin f) { fins.push_back(f); });
    d->quandChange([this] { ++changements; });
    return d;
  }
};

// Refusée, la source ne laisse rien partir. Sans relance, sa panne finit la diffusion, une
// seule fois, et le dernier relevé se voit avant ; épuisée, elle la finit aussi, l'anneau
// vidé. La fin du récepteur, reçue mais pas encore passée au fil principal quand la diffusion
// s'arrête, est ignorée ; arrêter deux fois ne défait rien de plus.
TEST_F(AssemblageDiffusion, LaSourceOuLeRecepteurFinissentLaDiffusionUneFois) {
  const auto refusee = creer(true, ErreurCapture{ErreurCapture::Cas::serveurInjoignable, -1});
  EXPECT_EQ(refusee->demarrer(),
            std::unexpected(ErreurCapture{ErreurCapture::Cas::serveurInjoignable, -1}));
  EXPECT_FALSE(refusee->enCours());
  EXPECT_TRUE(fabrique->creees.empty()) << "aucun émetteur";
  EXPECT_FALSE(refusee->compteursPiece(0));
  file->avancer(3s);
  EXPECT_TRUE(fins.empty());

  const ErreurCapture perdue{ErreurCapture::Cas::sortiePerdue, 11};
  struct Cas {
    const char* nom;
    std::optional<ErreurCapture> panne;
    bool epuisee, finDuRecepteur, arreter;
    std::vector<Fin> fins;
  };
  for (const Cas& c : std::vector<Cas>{{"panne", perdue, false, false, false, {Fin::sourceEnPanne}},
                                       {"épuisée", {}, true, false, false, {Fin::sourceEpuisee}},
                                       {"récepteur", {}, false, true, false, {Fin::parRecepteur}},
                                       {"récepteur après l'arrêt", {}, false, true, true, {}}}) {
    SCOPED_TRACE(c.nom);
    const auto d = creer(c.finDuRecepteur);
    ASSERT_TRUE(d->demarrer());
    source->livrer(480);
    file->avancer(500ms);
    const int avant = changements;
    if (c.finDuRecepteur) {
      ASSERT_TRUE(
          recepteurs[0].dire(fabrique->derniere(), MessageFin::donnees, SorteEnveloppe::fin));
    }
    if (c.arreter) {
      d->arreter();
      d->arreter();
    }
    source->enPanne = c.panne;
    source->fini = c.epuisee;
    file->avancer(1s);
    EXPECT_EQ(fins, c.fins);
    EXPECT_FALSE(d->enCours());
    EXPECT_TRUE(c.finDuRecepteur || changements > avant) << "la durée a bougé";
    EXPECT_EQ(source->relances, 0);
    EXPECT_EQ(source->arrets, 1);
    EXPECT_EQ(d->panne(), c.panne) << "lisible après la fin";
  }
}

// Deux pièces parties au même bloc. Celle qui devient injoignable laisse l'autre recevoir et
// ne finit pas la diffusion ; seule elle refait sa connexion. Retirer la dernière finit la
// diffusion, une fois, et ses compteurs restent lisibles. (Une pièce finie par son récepteur
// ou retirée : Pieces.EnnuisFinsEtRetraitsDesPieces.)
TEST_F(AssemblageDiffusion, UnePieceInjoignableLAutreContinue) {
  std::vector<std::pair<Numero, Fin>> finies;
  std::vector<std::pair<Numero, bool>> silences;
  const auto d = creer(false, {}, true);
  d->quandPieceFinie([&](Numero n, Fin f) { finies.emplace_back(n, f); });
  d->quandSilence([&](Numero n, bool muette) { silences.emplace_back(n, muette); });
  ASSERT_TRUE(d->demarrer());
  file->executer();
  ASSERT_EQ(fabrique->creees.size(), 2u);
  source->livrer(320);
  file->executer();
  EXPECT_EQ(paquets(a, 0).size(), 1u);
  EXPECT_EQ(paquets(b, 1).size(), 1u) << "la pièce ajoutée avant le démarrage, au même bloc";
  connexion(0).jouerEtat({EtatConnexion::Cas::echec, reseauAbsent});
  file->avancer(31s);
  // Aucun récepteur ne parle : chaque pièce se dit muette, une seule fois en 60 relevés.
  EXPECT_EQ(silences, (std::vector<std::pair<Numero, bool>>{{0, true}, {1, true}}));
  EXPECT_EQ(finies, (std::vector<std::pair<Numero, Fin>>{{0, Fin::injoignable}}));
  for (std::size_t i = 2; i < fabrique->points.size(); ++i)
    EXPECT_EQ(fabrique->points[i].port, 50'000) << "seule la pièce en panne refait";
  EXPECT_TRUE(fins.empty()) << "une pièce reste";
  EXPECT_EQ(d->compteursPiece(0)->paquetsEnvoyes, 1) << "gardés à sa fin";
  ASSERT_TRUE(d->enCours());
  for (const auto& x : fabrique->creees) x->envoyes.clear();
  source->livrer(320);
  file->executer();
  EXPECT_EQ(paquets(b, 1).size(), 1u) << "l'autre pièce reçoit";
  for (const auto& x : fabrique->creees) EXPECT_TRUE(x->envoyes.empty());
  file->avancer(500ms);
  ASSERT_EQ(d->statistiques().pieces.size(), 1u);
  EXPECT_EQ(d->statistiques().pieces[0].numero, 1u);

  d->retirerPiece(1);
  file->executer();
  EXPECT_EQ(fins, std::vector<Fin>{Fin::parRecepteur});
  EXPECT_FALSE(d->enCours());
  d->retirerPiece(1);
  EXPECT_EQ(d->ajouterPiece(PointReseau{"127.0.0.1", 50'009}, recepteurs[2].liaison, "Cave"), 2u);
  file->avancer(1s);
  EXPECT_EQ(fins.size(), 1u) << "une seule fin";
  ASSERT_EQ(d->releve().pieces.size(), 1u) << "la dernière seule, lisible après la fin";
  EXPECT_EQ(d->releve().pieces[0].voie.paquetsEnvoyes, 2);
}

// Le modèle sur une file manuelle qui sert de fil principal et de file de l'émetteur.
struct ModeleEnDiffusion : Banc {
  std::shared_ptr<faux::SonFaux> audio = std::make_shared<faux::SonFaux>();
  std::shared_ptr<MagasinReglagesMemoire> reglages = std::make_shared<MagasinReglagesMemoire>();
  int fins = 0;
  std::shared_ptr<DiffusionModel> modele = creer();

  // L'arrêt posté de l'émetteur le tient, et lui tient la file : on le laisse s'exécuter.
  ~ModeleEnDiffusion() override {
    modele.reset();
    file->executer();
  }
  std::shared_ptr<DiffusionModel> creer() {
    auto m = DiffusionModel::creer({file.get(), audio->fabrique(), file, fabrique, &horloge,
                                    reglages, [] { return std::string("fr"); }});
    m->quandRecepteurArrete([this](DiffusionModel::Fin, const std::string&) { ++fins; });
    return m;
  }
  void demarrer() {
    modele->demarrer(PointReseau{"127.0.0.1", 50'000}, a.liaison);
    file->executer();
  }
};

// Ce que fait la surveillance de la capture, relevé à chaque demi-seconde pendant 12 s : une
// capture qui se tait est relancée tant que dure l'envoi, après 2 s sans trame puis de plus en
// plus rarement ; refusée par le serveur, aussitôt puis après 0,5, 1, 2 et 4 s. Muette dès un
// refus ou après deux relances sans effet, elle ne l'est plus dès qu'elle relivre.
TEST_F(ModeleEnDiffusion, CaptureRelanceeTantQueDureLEnvoiEtRevenueSeule) {
  struct Cas {
    const char* nom;
    std::vector<int> livraisons;  // demi-secondes où une trame arrive
    std::pair<int, int> refus;    // demi-secondes où le serveur refuse les captures [de, à[
    int panne;                    // demi-seconde où la capture se dit en panne, -1 : jamais
    std::vector<std::pair<int, std::int64_t>> relances;  // (demi-seconde, capturesRelancees)
    std::vector<std::pair<int, bool>> muette;            // (demi-seconde, captureMuette)
  };
  const std::vector<Cas> cas{
      {"jamais rien", {}, {}, -1, {{4, 1}, {8, 2}, {12, 3}, {16, 4}, {24, 5}}, {{12, true}}},
      {"une trame repousse", {3}, {}, -1, {{7, 1}, {11, 2}, {15, 3}, {19, 4}}, {{15, true}}},
      {"relivre", {5, 10, 15}, {}, -1, {{4, 1}, {9, 2}, {14, 3}, {19, 4}, {23, 5}}, {}},
      {"refusée", {}, {1, 99}, -1, {{4, 1}, {5, 2}, {7, 3}, {11, 4}, {19, 5}}, {{4, true}}},
      // En panne : relancée sans attendre.
      {"en panne", {1, 2, 3}, {}, 3, {{3, 1}, {7, 2}, {11, 3}, {15, 4}, {23, 5}}, {{11, true}}},
      // Serveur de son arrêté à 1,5 s et relancé à 5 s : la relance de 9 s le retrouve.
      {"revenu",
       {1, 2, 3, 19, 20, 21, 22, 23, 24},
       {3, 10},
       3,
       {{3, 1}, {4, 2}, {6, 3}, {10, 4}, {18, 5}},
       {{3, true}, {19, false}}},
  };
  static const std::vector<float> son(640, 0.25F);

  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    audio->script.demarrer.reset();
    modele = creer();
    demarrer();
    std::vector<std::pair<int, std::int64_t>> relances;
    std::vector<std::pair<int, bool>> muette;
    for (int demi = 1; demi <= 24; ++demi) {
      if (std::ranges::find(c.livraisons, demi) != c.livraisons.end())
        audio->livrer({son, 0, horloge.hoteNs()});
      audio->script.demarrer.reset();
      if (demi >= c.refus.first && demi < c.refus.second)
        audio->script.demarrer = ErreurCapture{ErreurCapture::Cas::serveurInjoignable, -6};
      // Lien au serveur de son coupé.
      if (demi == c.panne)
        audio->tomberEnPanne(ErreurCapture{ErreurCapture::Cas::sortiePerdue, 11});
      const auto avant = modele->capturesRelancees();
      const bool etaitMuette = modele->captureMuette();
      file->avancer(500ms);
      if (modele->capturesRelancees() != avant) {
        relances.emplace_back(demi, modele->capturesRelancees());
        audio->tomberEnPanne(std::nullopt);  // la capture neuve tourne
      }
      if (modele->captureMuette() != etaitMuette) muette.emplace_back(demi, !etaitMuette);
    }
    EXPECT_EQ(relances, c.relances);
    EXPECT_EQ(muette, c.muette);
    EXPECT_TRUE(modele->enDiffusion()) << "l'envoi continue";
    modele->arreter();
  }
}

// Le choix de taire l'ordinateur : retenu dans les réglages, appliqué aussitôt à la capture en
// cours, son refus dit tant qu'une capture tourne. Gardé sous la clé des versions précédentes,
// il passe une fois sous la nouvelle ; ensuite l'ancienne clé ne décide plus de rien.
TEST_F(ModeleEnDiffusion, SilenceRetenuAppliqueEtReprisDeLAncienneCle) {
  modele->changerNEntendreQueLeRecepteur(true);
  EXPECT_TRUE(creer()->nEntendreQueLeRecepteur()) << "retenu dans les réglages";
  demarrer();
  EXPECT_TRUE(audio->muet) << "démarrée silencieuse";
  modele->changerNEntendreQueLeRecepteur(false);
  EXPECT_FALSE(audio->muet) << "aussitôt";
  audio->script.silence = ErreurCapture{ErreurCapture::Cas::silenceImpossible, -1};
  modele->changerNEntendreQueLeRecepteur(true);
  EXPECT_TRUE(modele->reglageSilenceRefuse());
  modele->arreter();
  modele->changerNEntendreQueLeRecepteur(false);
  EXPECT_FALSE(modele->reglageSilenceRefuse()) << "sans capture, rien à refuser";

  using Lu = std::optional<bool>;
  // (ancienne clé, nouvelle clé) → lu, nouvelle clé après
  for (const auto& [ancienne, nouvelle, lu, apres] :
       std::vector<std::tuple<Lu, Lu, bool, Lu>>{{true, {}, true, true},
                                                 {false, {}, false, false},
                                                 {true, false, false, false},
                                                 {{}, {}, false, {}}}) {
    reglages = std::make_shared<MagasinReglagesMemoire>();
    if (ancienne) reglages->ecrireBooleen(DiffusionModel::cleSilenceAncienne, *ancienne);
    if (nouvelle) reglages->ecrireBooleen(DiffusionModel::cleSilence, *nouvelle);
    EXPECT_EQ(creer()->nEntendreQueLeRecepteur(), lu);
    EXPECT_EQ(reglages->lireBooleen(DiffusionModel::cleSilence), apres);
  }
  reglages->ecrireBooleen(DiffusionModel::cleSilenceAncienne, true);
  creer()->changerNEntendreQueLeRecepteur(false);
  EXPECT_FALSE(creer()->nEntendreQueLeRecepteur()) << "l'ancienne clé n'est plus relue";
}

}  // namespace
}  // namespace ravlo
