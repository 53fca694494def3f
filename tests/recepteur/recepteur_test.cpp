// SPDX-License-Identifier: MPL-2.0
// Le récepteur sans socket : rebuts, rejeux et falsifiés écartés, vitesse en pause (le rangement
// de la file : file_lecture_test.cpp). Le groupe et
// la lecture sous gigue passent par lui en temps simulé (groupe_test.cpp) ; son appairage, face
// à ravlo-envoi (ravlo_recepteur_test.cpp).
#include "recepteur/recepteur.hpp"

#include <gtest/gtest.h>

#include "faux/hasard_deterministe.hpp"
#include "faux/memoire_expediteurs_factice.hpp"
#include "protocol/appairage/appairage_initiateur.hpp"
#include "protocol/appairage/demande_code.hpp"
#include "protocol/messages/paquet_audio.hpp"
#include "protocol/reprise/reprise_initiateur.hpp"
#include "protocol/reprise/reprise_repondeur.hpp"

namespace ravlo {
namespace {

const PointReseau appairage{"127.0.0.1", 40000};
const PointReseau audio{"127.0.0.1", 40001};

struct Banc {
  Banc()
      : recepteur(
            GuichetAppairage::Reglages{
                std::nullopt, [this] { return *CodeAppairage::depuisSaisie(codes.at(tires++)); },
                std::make_shared<HasardDeterministe>(7), memoire},
            lecture) {
    memoire->secondes += 60;
  }

  /// Joue un appairage avec `code` depuis `source` ; rend la liaison de l'émetteur.
  std::optional<Liaison> appairer(const std::string& code, const PointReseau& source,
                                  std::uint64_t graine = 3) {
    AppairageInitiateur initiateur(*CodeAppairage::depuisSaisie(code), "Portable",
                                   std::make_shared<HasardDeterministe>(graine));
    std::optional<MessagePasskey> message = initiateur.dernierMessage();
    while (message) {
      const auto envois = recepteur.recevoir(message->donnees(), source, maintenant);
      message.reset();
      for (const auto& e : envois)
        if (auto lu = MessagePasskey::decoder(e.donnees); lu && e.vers == source)
          message = initiateur.recevoir(*lu);
    }
    if (const auto* r = std::get_if<AppairageInitiateur::Reussi>(&initiateur.etat()))
      return r->liaison;
    return std::nullopt;
  }

  Octets paquet(Liaison& l, std::uint32_t sequence) {
    const auto p =
        PaquetAudio::creer(sequence, 1'000'000 + sequence * 6'666'667ull, Octets(1280, 0x10));
    return *l.scelleur->sceller(p->encoder(), SorteEnveloppe::audio);
  }

  std::vector<std::string> codes{"1111", "2222", "3333"};
  std::size_t tires = 0;
  InstantNs maintenant = 5'000'000'000;
  std::shared_ptr<FileLecture> lecture = std::make_shared<FileLecture>(3 * 320, true);
  std::shared_ptr<faux::MemoireExpediteursFactice> memoire =
      std::make_shared<faux::MemoireExpediteursFactice>();
  Recepteur recepteur;
  Liaison emetteur = appairer("1111", appairage).value();
};

// Les rebuts s'écartent sur leur forme et leur taille, sans être décodés ni ouverts ; le rejeu
// et le falsifié de l'expéditeur, ouverts, ne rangent rien. Un flot
// d'enveloppes bien formées d'une autre source n'ouvre que sa part (le reste est écarté), pendant
// que le son de l'expéditeur passe entier. L'émetteur qui change d'adresse sous le flot est
// suivi en moins d'une seconde, et un appairage d'une source neuve aboutit quand même.
TEST(Recepteur, EcarteLesRebutsSansLesOuvrir) {
  Banc b;
  std::uint32_t sequence = 0;
  const auto son = [&](const PointReseau& de) {
    b.recepteur.recevoir(b.paquet(b.emetteur, sequence++), de, b.maintenant);
  };
  const Octets premier = b.paquet(b.emetteur, sequence++);
  b.recepteur.recevoir(premier, audio, b.maintenant);
  const PointReseau intrus{"127.0.0.1", 666};
  const auto forge = [](std::size_t taille, std::uint8_t sorte, std::uint8_t p = 'V') {
    Octets d(taille, 0xA5);
    d[0] = 'R', d[1] = p, d[2] = p == 'V' ? 2 : 1, d[3] = sorte;
    return d;
  };
  // Les deux derniers : une reprise, un appairage trop longs.
  const std::vector<Octets> rebuts{
      Octets{},     Octets{'R'},    Octets(27, 'R'), forge(27, 0),      forge(40, 9),
      forge(47, 0), forge(1325, 0), Octets(1500, 0), forge(77, 6, 'P'), forge(174, 0, 'P')};
  for (const auto& r : rebuts) b.recepteur.recevoir(r, intrus, b.maintenant);
  auto c = b.recepteur.compteurs();
  EXPECT_EQ(c.datagrammesEcartes, static_cast<std::int64_t>(rebuts.size()));
  EXPECT_EQ(c.enveloppesRefusees, c.datagrammesEcartes);
  // Ouverts, mais refusés sans rien ranger : le rejeu et le falsifié de l'expéditeur.
  Octets falsifie = b.paquet(b.emetteur, 1000);
  falsifie[20] ^= 1;
  for (const auto& h : {premier, falsifie})
    EXPECT_TRUE(b.recepteur.recevoir(h, audio, b.maintenant).empty());
  c = b.recepteur.compteurs();
  EXPECT_EQ(c.enveloppesRefusees, c.datagrammesEcartes + 2);
  EXPECT_EQ(c.paquetsRecus, 1);

  // 20 000 enveloppes forgées par seconde, pendant une seconde, d'une seule source puis de
  // sources toutes différentes : seule une part s'ouvre, le son de l'expéditeur passe entier.
  for (const bool uneSource : {true, false}) {
    const auto avant = b.recepteur.compteurs();
    for (int i = 0; i < 20'000; ++i) {
      b.maintenant += 50'000;
      const PointReseau de{"127.0.0.1", static_cast<std::uint16_t>(uneSource ? 666 : 1024 + i)};
      b.recepteur.recevoir(forge(i % 2 ? 56 : 1324, static_cast<std::uint8_t>(i % 2)), de,
                           b.maintenant);
      if (i % 133 == 0) son(audio);
    }
    c = b.recepteur.compteurs();
    const auto ouvertes = (c.enveloppesRefusees - c.datagrammesEcartes) -
                          (avant.enveloppesRefusees - avant.datagrammesEcartes);
    EXPECT_LE(ouvertes, uneSource ? 2 : static_cast<std::int64_t>(QuotaEtrangers::avance + 1000));
    EXPECT_GE(c.datagrammesEcartes - avant.datagrammesEcartes, 18'000);
    EXPECT_EQ(c.paquetsRecus, static_cast<std::int64_t>(sequence)) << "le son de l'expéditeur";
  }

  // L'émetteur passe en IPv6 sous le flot d'une source : suivi dès sa première enveloppe.
  const PointReseau nouvelle{"::1", 40002};
  for (int i = 0; i < 1000; ++i) {
    b.maintenant += 50'000;
    b.recepteur.recevoir(forge(1324, 0), intrus, b.maintenant);
  }
  son(nouvelle);
  ASSERT_EQ(b.recepteur.compteurs().expediteur, "[::1]:40002");
  const auto recusAvant = b.recepteur.compteurs().paquetsRecus;
  for (int i = 0; i < 10; ++i) {
    b.recepteur.recevoir(forge(1324, 0), intrus, b.maintenant);
    son(nouvelle);
  }
  EXPECT_EQ(b.recepteur.compteurs().paquetsRecus - recusAvant, 10) << "la source suivie";

  // Un appairage d'une source neuve n'a pas besoin de part.
  EXPECT_TRUE(b.appairer("2222", PointReseau{"127.0.0.1", 50000}, 4));
  EXPECT_EQ(b.recepteur.appairages(), 2);
}

// Le secret retenu au premier appairage reprend sans code, depuis une autre socket : la
// nouvelle liaison joue, l'ancien expéditeur apprend qui prend sa place (comme pour un code),
// le code n'est ni dépensé ni renouvelé. Une preuve rejouée ne relie rien.
TEST(Recepteur, RepriseSousLeSecretRetenuCommeUnAppairage) {
  Banc b;
  ASSERT_EQ(b.memoire->carnet.expediteurs().size(), 1u);
  const ExpediteurMemorise retenu = b.memoire->carnet.expediteurs()[0];
  EXPECT_EQ(retenu.nom, "Portable");
  const PointReseau ailleurs{"127.0.0.1", 40002};
  RepriseInitiateur i(retenu.paire, std::make_shared<HasardDeterministe>(5));
  auto envois = b.recepteur.recevoir(i.dernierMessage().donnees(), ailleurs, b.maintenant);
  ASSERT_EQ(envois.size(), 1u);
  const auto preuve = i.recevoir(*MessageReprise::decoder(envois[0].donnees));
  ASSERT_TRUE(preuve);
  b.maintenant += 1'000'000;
  envois = b.recepteur.recevoir(preuve->donnees(), ailleurs, b.maintenant);
  std::vector<SorteEnveloppe> versAncien;
  for (const auto& e : envois) {
    EXPECT_EQ(e.vers, appairage) << "rien d'autre ne part";
    versAncien.push_back(*Enveloppe::sorteLue(e.donnees));
  }
  EXPECT_EQ(versAncien, (std::vector{SorteEnveloppe::fin, SorteEnveloppe::fin}));
  EXPECT_TRUE(b.recepteur.recevoir(preuve->donnees(), ailleurs, b.maintenant).empty());
  EXPECT_EQ(b.recepteur.appairages(), 2);
  EXPECT_EQ(b.recepteur.reprises(), 1);
  EXPECT_EQ(b.recepteur.code().chiffres(), "2222") << "le code suivant, ni dépensé ni changé";
  EXPECT_EQ(b.memoire->carnet.expediteurs()[0].dernierUsageS, b.memoire->secondes);
  auto liaison = std::get<RepriseInitiateur::Reussi>(i.etat()).liaison;
  b.recepteur.recevoir(b.paquet(liaison, 0), ailleurs, b.maintenant);
  b.recepteur.recevoir(b.paquet(b.emetteur, 1), audio, b.maintenant);
  EXPECT_EQ(b.recepteur.compteurs().paquetsRecus, 1) << "seule la liaison reprise joue";
}

// La demande d'entendre le code se reconnaît à son seul en-tête ; ce qui en dévie est écarté
// comme un rebut. Permise, elle se dit au plus une fois par 8 s, pas pendant la voix, pas
// pendant la pause qui suit des codes faux ; chaque refus se compte. Non permise, elle est
// écartée comme par un récepteur qui ne la connaît pas.
TEST(Recepteur, DemandeDeCodeLueBorneeEtComptee) {
  const Octets demande = DemandeCode::donnees();
  ASSERT_EQ(demande, (Octets{'R', 'P', 1, 10, 0, 0, 0, 0, 0, 0, 0, 0}));
  ASSERT_EQ(formeDe(demande), FormeDatagramme::demandeCode);
  const auto devie = [&](std::size_t i, std::uint8_t v) {
    Octets d = demande;
    d.resize(std::max(d.size(), i + 1));
    d[i] = v;
    return d;
  };
  const PointReseau inconnu{"127.0.0.1", 777};
  // Non permise ; permise mais déviée (tentative, un octet de plus, cas, version) ; dite.
  for (int n = 0; const Octets& datagramme :
                  {demande, devie(4, 1), devie(12, 0), devie(3, 11), devie(2, 2), demande}) {
    const bool permise = n++ > 0;
    const bool dite = permise && datagramme == demande;
    Banc b;
    b.recepteur.permettreCodeParle(permise);
    const auto avant = b.recepteur.compteurs();
    EXPECT_TRUE(b.recepteur.recevoir(datagramme, inconnu, b.maintenant).empty());
    EXPECT_EQ(b.recepteur.prendreCodeADire(), dite);
    EXPECT_FALSE(b.recepteur.prendreCodeADire()) << "une fois par demande retenue";
    const auto apres = b.recepteur.compteurs();
    EXPECT_EQ(apres.codesDits, dite ? 1 : 0);
    EXPECT_EQ(apres.datagrammesEcartes - avant.datagrammesEcartes, dite ? 0 : 1);
  }

  Banc b;
  b.recepteur.permettreCodeParle(true);
  const auto demander = [&](InstantNs apres) {
    b.maintenant += apres;
    (void)b.recepteur.recevoir(demande, PointReseau{"127.0.0.1", 778}, b.maintenant);
    return b.recepteur.prendreCodeADire();
  };
  EXPECT_TRUE(demander(0));
  EXPECT_FALSE(demander(0)) << "deux à la suite";
  EXPECT_FALSE(demander(7'000'000'000));
  b.recepteur.noterParole(true);
  EXPECT_FALSE(demander(1'000'000'000)) << "pendant la voix";
  b.recepteur.noterParole(false);
  EXPECT_TRUE(demander(0));
  auto c = b.recepteur.compteurs();
  EXPECT_EQ(c.codesDits, 2);
  EXPECT_EQ(c.demandesCodeRefusees, 3);
  EXPECT_EQ(c.enveloppesRefusees, 3);
  // Quatre codes faux ouvrent une pause : rien à donner tant qu'elle dure.
  b.maintenant += LimiteCodeParle::intervalleNs;
  b.codes.insert(b.codes.end(), {"4444", "5555", "6666", "7777"});
  for (std::uint64_t i = 0; i < 4; ++i)
    EXPECT_FALSE(b.appairer("9999", PointReseau{"127.0.0.1", 900}, 10 + i));
  ASSERT_GT(b.recepteur.pauseAppairageNs(b.maintenant), 0u);
  EXPECT_FALSE(demander(0));
  EXPECT_EQ(b.recepteur.compteurs().demandesCodeRefusees, 4);
  EXPECT_TRUE(demander(b.recepteur.pauseAppairageNs(b.maintenant)));
}

// Une pause (plus rien reçu) ne fait pas dériver la vitesse : la file vide n'est pas un
// écart à corriger.
TEST(Recepteur, LaPauseNEmballePasLaVitesse) {
  Banc b;
  std::vector<float> g(480), d(480);
  for (std::uint32_t s = 0; s < 20; ++s)
    b.recepteur.recevoir(b.paquet(b.emetteur, s), audio, b.maintenant);
  for (int tic = 0; tic < 100; ++tic) {  // 20 s sans rien recevoir
    b.lecture->tirer(480, g, d, b.maintenant);
    b.recepteur.cadencer(b.maintenant);
    b.maintenant += 200'000'000;
  }
  EXPECT_GT(b.lecture->etat().trous, 0);
  EXPECT_LT(std::abs(b.recepteur.vitessePPM()), 100.0);
}

}  // namespace
}  // namespace ravlo
