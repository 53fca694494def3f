// SPDX-License-Identifier: MPL-2.0
// Le récepteur sans socket : appairage, réception scellée, file et cible, vitesse, codes.
#include "recepteur/recepteur.hpp"

#include <gtest/gtest.h>

#include "faux/hasard_deterministe.hpp"
#include "protocol/appairage/appairage_initiateur.hpp"
#include "protocol/messages/canal_horloge.hpp"
#include "protocol/messages/message_fin.hpp"
#include "protocol/messages/message_releve.hpp"
#include "protocol/messages/paquet_audio.hpp"

namespace ravlo {
namespace {

const PointReseau appairage{"127.0.0.1", 40000};
const PointReseau audio{"127.0.0.1", 40001};

struct Banc {
  explicit Banc(std::optional<CodeAppairage> fixe = std::nullopt)
      : recepteur(
            GuichetAppairage::Reglages{
                fixe, [this] { return *CodeAppairage::depuisSaisie(codes.at(tires++)); },
                std::make_shared<HasardDeterministe>(7)},
            lecture) {}

  /// Joue un appairage avec `code` depuis `source` ; rend la liaison de l'émetteur.
  std::optional<Liaison> appairer(const std::string& code, const PointReseau& source,
                                  std::uint64_t graine = 3, const std::string& nom = "Portable") {
    AppairageInitiateur initiateur(*CodeAppairage::depuisSaisie(code), nom,
                                   std::make_shared<HasardDeterministe>(graine));
    std::optional<MessagePasskey> message = initiateur.dernierMessage();
    while (message) {
      const auto envois = recepteur.recevoir(message->donnees(), source, maintenant);
      message.reset();
      for (const auto& e : envois) {
        if (e.vers != source) {
          ailleurs.push_back(e);
          continue;
        }
        if (auto lu = MessagePasskey::decoder(e.donnees)) message = initiateur.recevoir(*lu);
      }
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

  std::vector<Envoi> ailleurs;  ///< envoyé à un autre que l'appairant
  // 2222 tiré deux fois : un code renouvelé n'est jamais celui qu'il remplace.
  std::vector<std::string> codes{"1111", "2222", "2222", "3333", "4444", "5555"};
  std::size_t tires = 0;
  InstantNs maintenant = 5'000'000'000;
  std::shared_ptr<FileLecture> lecture = std::make_shared<FileLecture>(3 * 320, true);
  Recepteur recepteur;
};

// Le désordre rangé, la perte masquée à son heure, le retardataire jeté ; rejeux,
// falsifications et retardataires ne rangent rien.
TEST(Recepteur, RangeLesPaquetsEtRefuseCeQuiNeSOuvrePas) {
  Banc b;
  auto emetteur = b.appairer("1111", appairage);
  ASSERT_TRUE(emetteur);
  const auto recu = [&](const Octets& d) { return b.recepteur.recevoir(d, audio, b.maintenant); };
  std::vector<float> g(320), d(320);
  const auto tirer = [&](int paquets) {
    for (int i = 0; i < paquets; ++i) b.lecture->tirer(320, g, d, b.maintenant);
  };

  for (std::uint32_t s : {0U, 1U, 2U, 4U, 3U}) recu(b.paquet(*emetteur, s));
  tirer(3);  // l'amorce de 3 paquets rogne 0 et 1, puis 2, 3 et 4 se jouent
  const Octets six = b.paquet(*emetteur, 6);
  recu(six);
  tirer(1);  // 5 n'est pas là à son heure : masqué
  recu(b.paquet(*emetteur, 5));
  auto c = b.recepteur.compteurs();
  EXPECT_EQ(c.paquetsRecus, 6);
  EXPECT_EQ(c.paquetsReordonnes, 1);
  EXPECT_EQ(c.paquetsPerdus, 1);
  EXPECT_EQ(c.paquetsTardifs, 1);
  EXPECT_EQ(c.trous, 0);

  Octets falsifie = b.paquet(*emetteur, 7);
  falsifie[20] ^= 1;
  // Le rejeu, le falsifié, l'authentique en retard (le reste des forgés : essai de bout en bout).
  for (const auto& h : {six, falsifie, b.paquet(*emetteur, 1)}) EXPECT_TRUE(recu(h).empty());
  c = b.recepteur.compteurs();
  EXPECT_EQ(c.enveloppesRefusees, 2);
  EXPECT_EQ(c.paquetsTardifs, 2);
  EXPECT_EQ(c.paquetsRecus, 6);
}

// Les rebuts s'écartent sur leur forme et leur taille, sans être décodés ni ouverts ; un flot
// d'enveloppes bien formées d'une autre source n'ouvre que sa part (le reste est écarté), pendant
// que le son de l'expéditeur passe entier. L'émetteur qui change d'adresse sous le flot est
// suivi en moins d'une seconde, et un appairage d'une source neuve aboutit quand même.
TEST(Recepteur, EcarteLesRebutsSansLesOuvrir) {
  Banc b;
  auto emetteur = b.appairer("1111", appairage);
  ASSERT_TRUE(emetteur);
  std::uint32_t sequence = 0;
  const auto son = [&](const PointReseau& de) {
    b.recepteur.recevoir(b.paquet(*emetteur, sequence++), de, b.maintenant);
  };
  son(audio);
  const PointReseau intrus{"127.0.0.1", 666};
  const auto forge = [](std::size_t taille, std::uint8_t sorte) {
    Octets d(taille, 0xA5);
    d[0] = 'R', d[1] = 'V', d[2] = 2, d[3] = sorte;
    return d;
  };
  Octets appairageMalForme{'R', 'P', 1, 6};
  appairageMalForme.resize(44);
  Octets appairageTropLong{'R', 'P', 1, 0};
  appairageTropLong.resize(174);
  const std::vector<Octets> rebuts{
      Octets{},     Octets{'R'},    Octets(27, 'R'),   forge(27, 0),      forge(40, 9),
      forge(47, 0), forge(1325, 0), appairageMalForme, appairageTropLong, Octets(1500, 0)};
  for (const auto& r : rebuts) b.recepteur.recevoir(r, intrus, b.maintenant);
  auto c = b.recepteur.compteurs();
  EXPECT_EQ(c.datagrammesEcartes, static_cast<std::int64_t>(rebuts.size()));
  EXPECT_EQ(c.enveloppesRefusees, c.datagrammesEcartes);

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

// Un flux réel en temps simulé : un paquet toutes les 6,67 ms, un rendu de 5 ms toutes les
// 5 ms, le tic de 200 ms. Sans gigue, la cible reste sous 15 ms ; avec 0 à 10 ms de gigue,
// elle monte d'elle-même et la file la suit (vitesse et masquages) sans se tarir ; la gigue
// partie, la cible ne redescend pas en quelques secondes.
TEST(Recepteur, LaCibleEtLaFileSuiventLaGigue) {
  Banc b;
  auto emetteur = b.appairer("1111", appairage);
  ASSERT_TRUE(emetteur);
  std::vector<float> g(240), d(240);
  std::uint64_t alea = 99;
  std::uint32_t sequence = 0;
  InstantNs prochainRendu = b.maintenant, prochainTic = b.maintenant;
  const InstantNs debut = b.maintenant;
  // Les paquets partent à leur heure de capture et arrivent après `gigueMs` au plus.
  std::vector<std::pair<InstantNs, Octets>> enRoute;
  const auto passer = [&](double secondes, double gigueMs) {
    const InstantNs fin = b.maintenant + static_cast<InstantNs>(secondes * 1e9);
    while (b.maintenant < fin) {
      b.maintenant += 1'000'000;
      while (debut + sequence * 6'666'667ULL <= b.maintenant) {
        alea = alea * 6364136223846793005ULL + 1442695040888963407ULL;
        const double u = static_cast<double>(alea >> 11) * 0x1.0p-53;
        enRoute.emplace_back(b.maintenant + static_cast<InstantNs>(u * gigueMs * 1e6),
                             b.paquet(*emetteur, sequence++));
      }
      std::erase_if(enRoute, [&](const auto& p) {
        if (p.first > b.maintenant) return false;
        b.recepteur.recevoir(p.second, audio, b.maintenant);
        return true;
      });
      if (b.maintenant >= prochainRendu) {
        b.lecture->tirer(240, g, d, b.maintenant);
        prochainRendu += 5'000'000;
      }
      if (b.maintenant >= prochainTic) {
        b.recepteur.cadencer(b.maintenant);
        prochainTic += 200'000'000;
      }
    }
  };
  passer(10, 1);
  const double calme = *b.recepteur.compteurs().cibleMs;
  EXPECT_LE(calme, 15.0);
  passer(1, 10);
  EXPECT_GE(*b.recepteur.compteurs().cibleMs, calme + 6) << "en une seconde";
  passer(20, 10);
  const auto c = b.recepteur.compteurs();
  EXPECT_GE(*c.cibleMs, calme + 8);
  EXPECT_EQ(c.trous, 0);
  EXPECT_LT(c.paquetsTardifs, 30) << "moins d'un paquet sur cent, après la montée";
  ASSERT_TRUE(c.reserveMs);
  EXPECT_LT(*c.reserveMs, *c.cibleMs + 10) << "la file tient la cible sans la dépasser de loin";
  passer(5, 1);
  EXPECT_GE(*b.recepteur.compteurs().cibleMs, calme + 6);
}

// Le récepteur dit ce qu'il lui faut ; quand l'émetteur annonce la latence d'un groupe, il
// la tient (de la capture au son, sur l'horloge de l'émetteur qu'il apprend par l'échange
// d'heures) ; sans annonce pendant 3 s, il rejoue seul. Une sorte d'horloge inconnue ne
// change rien. Une latence plus haute que sa file ne tient est ignorée et comptée : il joue
// seul, sans trou.
TEST(Recepteur, TientLaLatenceDuGroupeAnnonceeEtRejoueSeulSansElle) {
  Banc b;
  auto emetteur = b.appairer("1111", appairage);
  ASSERT_TRUE(emetteur);
  std::vector<float> g(240), d(240);
  const InstantNs debut = b.maintenant;
  // L'horloge de l'émetteur : la capture du paquet k y vaut 1 ms + k × 6,67 ms.
  const auto heureEmetteur = [&] { return b.maintenant - debut + 1'000'000; };
  std::uint32_t sequence = 0;
  std::optional<std::uint64_t> latence;  // celle qu'annonce l'émetteur
  std::optional<MessageGroupe> dernierBesoin;
  std::int64_t refusesAvant = 0;
  const auto envoyer = [&](const Octets& contenu) {
    b.recepteur.recevoir(*emetteur->scelleur->sceller(contenu, SorteEnveloppe::horloge), audio,
                         b.maintenant);
  };
  const auto passer = [&](double secondes) {
    const InstantNs fin = b.maintenant + static_cast<InstantNs>(secondes * 1e9);
    for (; b.maintenant < fin; b.maintenant += 1'000'000) {
      while (debut + sequence * 6'666'667ULL + 2'000'000 <= b.maintenant)
        b.recepteur.recevoir(b.paquet(*emetteur, sequence++), audio, b.maintenant);
      if ((b.maintenant - debut) % 5'000'000 == 0) b.lecture->tirer(240, g, d, b.maintenant);
      if ((b.maintenant - debut) % 200'000'000 != 0) continue;
      for (const Envoi& e : b.recepteur.cadencer(b.maintenant)) {
        const auto ouvert = emetteur->ouvreur->ouvrir(e.donnees);
        if (!ouvert || ouvert->sorte != SorteEnveloppe::horloge) continue;
        const auto lu = lireCanalHorloge(ouvert->contenu);
        if (const auto* q = lu ? std::get_if<MessageHorloge>(&*lu) : nullptr) {
          envoyer(q->reponse(heureEmetteur(), heureEmetteur()).encoder());
        } else if (lu) {
          dernierBesoin = std::get<MessageGroupe>(*lu);
        }
      }
      if (latence) envoyer(MessageGroupe::latence(*latence, 2).encoder());
    }
  };
  passer(6);
  ASSERT_TRUE(dernierBesoin);
  EXPECT_EQ(dernierBesoin->sorte, MessageGroupe::Sorte::besoin);
  const double seulMs = static_cast<double>(dernierBesoin->b) / 1e6;
  EXPECT_GT(seulMs, 2.0);
  EXPECT_FALSE(b.recepteur.compteurs().latenceGroupeMs) << "pas de groupe annoncé";

  latence = dernierBesoin->a + 25'000'000;
  refusesAvant = b.recepteur.compteurs().enveloppesRefusees;
  Octets inconnu = MessageHorloge::question(1).encoder();
  inconnu[3] = 9;
  envoyer(inconnu);
  passer(8);
  auto c = b.recepteur.compteurs();
  ASSERT_TRUE(c.latenceGroupeMs);
  EXPECT_DOUBLE_EQ(*c.latenceGroupeMs, static_cast<double>(*latence) / 1e6);
  EXPECT_NEAR(static_cast<double>(dernierBesoin->b) / 1e6, *c.latenceGroupeMs, 0.5)
      << "la latence tenue est celle du groupe";
  ASSERT_TRUE(c.besoinMs);
  EXPECT_NEAR(*c.besoinMs, static_cast<double>(dernierBesoin->a) / 1e6, 1.0)
      << "les compteurs disent le besoin envoyé";
  EXPECT_EQ(c.trous + c.paquetsPerdus, 0);
  EXPECT_EQ(c.enveloppesRefusees, refusesAvant);

  latence.reset();
  passer(4);
  c = b.recepteur.compteurs();
  EXPECT_FALSE(c.latenceGroupeMs);
  passer(10);
  EXPECT_LT(static_cast<double>(b.recepteur.compteurs().latenceMs.value_or(1e9)),
            static_cast<double>(dernierBesoin->a) / 1e6 + 20)
      << "seul, la file redescend vers sa propre cible";

  std::int64_t refusees = 0;
  for (const std::uint64_t hostile :
       {MessageGroupe::latenceMaxNs + 1, std::uint64_t{10'004'000'000}, std::uint64_t{1} << 63,
        ~std::uint64_t{0}}) {
    SCOPED_TRACE(hostile);
    const auto avant = b.recepteur.compteurs();
    latence = hostile;
    passer(5);
    latence.reset();
    c = b.recepteur.compteurs();
    EXPECT_FALSE(c.latenceGroupeMs);
    refusees += 5 * 5;  // une annonce par tic de 200 ms
    EXPECT_EQ(c.latencesGroupeRefusees, refusees);
    EXPECT_EQ(c.trous, avant.trous);
    EXPECT_EQ(c.recalages, avant.recalages);
    ASSERT_TRUE(c.latenceMs);
    EXPECT_LT(*c.latenceMs, static_cast<double>(dernierBesoin->a) / 1e6 + 20) << "seul";
  }
}

// Une pause (plus rien reçu) ne fait pas dériver la vitesse : la file vide n'est pas un
// écart à corriger.
TEST(Recepteur, LaPauseNEmballePasLaVitesse) {
  Banc b;
  auto emetteur = b.appairer("1111", appairage);
  ASSERT_TRUE(emetteur);
  std::vector<float> g(480), d(480);
  for (std::uint32_t s = 0; s < 20; ++s)
    b.recepteur.recevoir(b.paquet(*emetteur, s), audio, b.maintenant);
  for (int tic = 0; tic < 100; ++tic) {  // 20 s sans rien recevoir
    b.lecture->tirer(480, g, d, b.maintenant);
    b.recepteur.cadencer(b.maintenant);
    b.maintenant += 200'000'000;
  }
  EXPECT_GT(b.lecture->etat().trous, 0);
  EXPECT_LT(std::abs(b.recepteur.vitessePPM()), 100.0);
}

// Un code faux le renouvelle et le suivant réussit, qui le renouvelle aussi ; un nouvel
// appairage remplace l'expéditeur (qui reçoit le nom du nouveau, puis la fin) seulement quand
// il réussit ; un code fixé entamé est épuisé.
TEST(Recepteur, RenouvelleLeCodeEntameEtNeRemplaceQuAuSucces) {
  Banc b;
  EXPECT_EQ(b.recepteur.code().chiffres(), "1111");
  EXPECT_FALSE(b.appairer("1110", appairage));
  EXPECT_EQ(b.recepteur.code().chiffres(), "2222");
  auto premier = b.appairer("2222", appairage, 4);
  ASSERT_TRUE(premier);
  b.recepteur.recevoir(b.paquet(*premier, 0), audio, b.maintenant);
  EXPECT_FALSE(b.appairer("2223", PointReseau{"127.0.0.1", 40002}, 5));
  EXPECT_EQ(b.recepteur.compteurs().expediteur, "127.0.0.1:40001");  // le son continue
  EXPECT_EQ(b.recepteur.code().chiffres(), "4444");
  EXPECT_TRUE(b.ailleurs.empty());
  EXPECT_TRUE(b.appairer("4444", PointReseau{"127.0.0.1", 40002}, 6, "Bureau"));
  // L'ancien expéditeur apprend qui prend sa place, puis la fin.
  ASSERT_EQ(b.ailleurs.size(), 2u);
  for (const auto& e : b.ailleurs) EXPECT_EQ(e.vers, audio);
  const auto releve = premier->ouvreur->ouvrir(b.ailleurs[0].donnees);
  const auto fin = premier->ouvreur->ouvrir(b.ailleurs[1].donnees);
  ASSERT_TRUE(releve && fin);
  EXPECT_EQ(releve->sorte, SorteEnveloppe::fin);
  EXPECT_EQ(MessageReleve::lire(releve->contenu), MessageReleve{"Bureau"});
  EXPECT_EQ(fin->sorte, SorteEnveloppe::fin);
  EXPECT_TRUE(MessageFin::estFin(fin->contenu));
  EXPECT_EQ(b.recepteur.compteurs().expediteur, "127.0.0.1:40002");

  Banc fixe(CodeAppairage::depuisSaisie("4321"));
  EXPECT_FALSE(fixe.appairer("4320", appairage));
  EXPECT_TRUE(fixe.recepteur.codeEpuise());
  EXPECT_FALSE(fixe.appairer("4321", appairage, 8));
}

}  // namespace
}  // namespace ravlo
