// SPDX-License-Identifier: MPL-2.0
// La borne de la devinette en ligne, en temps simulé : la politique seule, puis le guichet
// face à des initiateurs qui se trompent, se taisent ou attendent leur tour.
#include "recepteur/politique_appairage.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <utility>

#include "faux/hasard_deterministe.hpp"
#include "faux/memoire_expediteurs_factice.hpp"
#include "protocol/appairage/appairage_initiateur.hpp"
#include "protocol/reprise/reprise_initiateur.hpp"
#include "recepteur/guichet_appairage.hpp"

namespace ravlo::essai_guichet {
namespace {

constexpr InstantNs sec = 1'000'000'000;

// Espérance du temps qu'il faut pour deviner : chaque essai testé a une chance sur 10 000
// (le code est tiré à neuf après chaque échec) ; l'attaquant teste un essai toutes les
// `secondes`, ou (sans elles) dès que la pause est finie, après avoir attendu que tout soit
// pardonné. La série est coupée quand il reste moins de 10⁻⁹ de chances, ce qui ne peut que
// sous-estimer.
double joursPourDeviner(std::optional<std::uint64_t> secondes) {
  PolitiqueAppairage p;
  InstantNs t = 0;
  double esperance = 0;
  for (double survie = 1; survie > 1e-9; survie *= 1 - 1e-4) {
    esperance += survie * 1e-4 * static_cast<double>(t);
    p.noterEchec(t);
    const InstantNs pardonne =
        p.pauseRestanteNs(t) == 0 ? t : t + p.echecsRetenus(t) * PolitiqueAppairage::pardonNs;
    t = std::max(secondes ? t + *secondes * sec : pardonne, t + p.pauseRestanteNs(t));
  }
  return esperance / 1e9 / 86'400;
}

// Trois fautes de frappe ne ralentissent pas ; un pardon par 6 min sans échec. Deviner prend
// plus de 40 jours quelle que soit la cadence, 41,6 à pleine vitesse, la meilleure (la plus
// haute pause, elle, est bornée par fuzz_guichet_appairage).
TEST(PolitiqueAppairage, FautesDeFrappePardonsEtDevinerPrendPlusDeQuaranteJours) {
  PolitiqueAppairage politique;
  const InstantNs t0 = 100 * sec;
  for (int i = 0; i < 3; ++i) politique.noterEchec(t0);
  EXPECT_EQ(politique.pauseRestanteNs(t0), 0u);
  politique.noterEchec(t0);
  EXPECT_EQ(politique.pauseRestanteNs(t0 + sec), sec);
  EXPECT_EQ(politique.pauseRestanteNs(t0 + 2 * sec), 0u);
  EXPECT_EQ(politique.echecsRetenus(t0 + 359 * sec), 4);
  EXPECT_EQ(politique.echecsRetenus(t0 + 360 * sec), 3);
  EXPECT_EQ(politique.echecsRetenus(t0 + 10'000 * sec), 0);
  politique.noterEchec(t0 + 360 * sec);
  EXPECT_EQ(politique.pauseRestanteNs(t0 + 360 * sec), 2 * sec)
      << "4 → 3 retenus : la suivante 2 s";
  for (const auto s : std::vector<std::optional<std::uint64_t>>{std::nullopt, 0, 1, 10, 60, 300,
                                                                359, 360, 361, 720, 3600})
    EXPECT_GT(joursPourDeviner(s), 40.0) << (s ? std::to_string(*s) + " s" : "tout pardonné");
}

AppairageInitiateur initiateur(const std::string& code, std::uint64_t graine) {
  return {*CodeAppairage::depuisSaisie(code), "Portable",
          std::make_shared<HasardDeterministe>(graine)};
}
RepriseInitiateur initiateur(const SecretPaire& p, std::uint64_t graine) {
  return {p, std::make_shared<HasardDeterministe>(graine)};
}
bool reussi(const AppairageInitiateur& a) {
  return std::holds_alternative<AppairageInitiateur::Reussi>(a.etat());
}
const auto& reponses(const GuichetAppairage::Issue& i, const AppairageInitiateur&) {
  return i.reponses;
}
const auto& reponses(const GuichetAppairage::Issue& i, const RepriseInitiateur&) {
  return i.reponsesReprise;
}
SecretPaire paire(std::uint8_t graine) {
  SecretPaire p;
  p.identifiant.fill(graine);
  p.psk.octets().fill(static_cast<std::uint8_t>(graine + 1));
  return p;
}

// Des initiateurs (d'appairage ou de reprise) face au guichet, chacun depuis sa source ; le
// temps avance à la main. « Portable » est retenu sous `paire(1)`.
struct BancGuichet {
  explicit BancGuichet(std::optional<CodeAppairage> fixe = std::nullopt)
      : guichet({fixe, [this] { return *CodeAppairage::depuisSaisie(codes.at(tires++)); },
                 std::make_shared<HasardDeterministe>(7), memoire}) {
    memoire->carnet.retenir(paire(1), "Portable", 0);
  }

  /// Rend à `a` ce qui lui revient de `issue` ; compte ce qui partait ailleurs.
  template <class Initiateur>
  auto recues(Initiateur& a, const PointReseau& de, const GuichetAppairage::Issue& issue) {
    std::optional<std::decay_t<decltype(a.dernierMessage())>> suite;
    for (const auto& r : reponses(issue, a)) {
      ailleurs += r.vers != de;
      if (auto reponse = r.vers == de ? a.recevoir(r.message) : std::nullopt) suite = reponse;
    }
    return suite;
  }
  /// Livre `premier` de `de`, puis mène l'échange tant que `a` répond, au plus `pas` messages,
  /// `avance` après chacun (le guichet surveillé) ; rend la reprise du guichet s'il y en a une.
  template <class Initiateur, class Message>
  std::optional<GuichetReprise::Reprise> mener(Initiateur& a, const PointReseau& de,
                                               const Message& premier, int pas = 100,
                                               InstantNs avance = 0) {
    std::optional<GuichetReprise::Reprise> reprise;
    for (std::optional m(premier); m && pas-- > 0;) {
      const auto issue = guichet.recevoir(*m, de, t);
      if (issue.reprise) reprise = issue.reprise;
      m = recues(a, de, issue);
      if (avance > 0) guichet.surveiller(t += avance);
    }
    return reprise;
  }
  bool essayer(const std::string& code, const PointReseau& de, std::uint64_t graine) {
    AppairageInitiateur a = initiateur(code, graine);
    mener(a, de, a.dernierMessage());
    return reussi(a);
  }

  std::vector<std::string> codes{"1111", "2222", "3333", "4444", "5555", "6666", "7777"};
  std::size_t tires = 0;
  InstantNs t = 50 * sec;
  int ailleurs = 0;
  std::shared_ptr<faux::MemoireExpediteursFactice> memoire =
      std::make_shared<faux::MemoireExpediteursFactice>();
  GuichetAppairage guichet;
};

const PointReseau poste{"127.0.0.1", 40000};
const PointReseau intrus{"127.0.0.1", 40666};

// Un intrus qui répète son `debut` ne tient pas le guichet : sa retransmission ne compte pas
// comme un progrès, et quand un vrai émetteur attend, 1,5 s de calme suffit à l'écarter ; le
// `debut` gardé est servi à l'instant. Une tentative qui avance reste bornée à 10 s.
TEST(GuichetAppairage, UneTentativeQuiNAvancePasNeTientPas) {
  BancGuichet b;
  AppairageInitiateur etranger = initiateur("9999", 11);
  const MessagePasskey debutEtranger = etranger.dernierMessage();
  b.mener(etranger, intrus, debutEtranger, 1);
  AppairageInitiateur vrai = initiateur("1111", 12);
  for (int i = 0; i < 2; ++i) {  // toutes les 700 ms, sans réponse
    b.t += 700'000'000;
    b.mener(etranger, intrus, debutEtranger, 1);
    EXPECT_FALSE(b.recues(vrai, poste, b.guichet.recevoir(vrai.dernierMessage(), poste, b.t)));
  }
  b.t += 200'000'000;  // 1,6 s sans progrès de l'intrus : le tic le congédie
  b.mener(vrai, poste, b.recues(vrai, poste, b.guichet.surveiller(b.t)));
  EXPECT_TRUE(reussi(vrai));
  EXPECT_EQ(b.guichet.code().chiffres(), "2222") << "abandon avant tout engagement : intact";

  // Seul, l'intrus qui répète son `debut` chaque seconde garde sa tentative (même `cle`)
  // jusqu'à 5 s sans progrès ; après, son `debut` ouvre une tentative neuve (clé neuve).
  const MessagePasskey seul = initiateur("9999", 13).dernierMessage();
  const auto cle = [&] {
    const auto issue = b.guichet.recevoir(seul, intrus, b.t);
    return issue.reponses.empty() ? Octets{}
                                  : issue.reponses[0].message.comme<MessagePasskey::Cle>()->cle;
  };
  const Octets premiere = cle();
  for (int i = 1; i <= 5; ++i) {
    b.t += sec;
    b.guichet.surveiller(b.t);
    EXPECT_EQ(cle() == premiere, i < 5) << i << " s";
  }

  // Une tentative qui avance d'un pas par seconde : abandonnée 10 s après son début, le
  // code entamé renouvelé.
  BancGuichet lent;
  AppairageInitiateur a = initiateur("1111", 15);
  lent.mener(a, poste, a.dernierMessage(), 12, sec);
  EXPECT_FALSE(reussi(a));
  EXPECT_EQ(lent.guichet.code().chiffres(), "2222");
}

// Ce qui entame le code : un refus du récepteur, ou une tentative qui cesse après qu'il a
// dévoilé un nonce. Avant cela il n'a rien montré qui dépende du code : le code reste et la
// politique ne compte rien, sans quoi trois datagrammes anonymes feraient tirer un code neuf.
// Un code fixé ne s'épuise pas davantage sans fuite.
TEST(GuichetAppairage, SeulCeQuiAPuFuirEntameLeCode) {
  const struct {
    const char* nom;
    const char* essai;  // 9998 diffère de 1111 au premier bit engagé comme au dernier
    int messages;       // livrés : `debut`, `engagement` 0, `devoilement` 0…
    bool refusInitiateur, entame;
  } cas[]{
      {"refus après la clé", "1111", 1, true, false},
      {"refus après un engagement", "1111", 2, true, false},
      {"silence après un engagement", "9998", 2, false, false},
      {"refus après un nonce dévoilé", "1111", 3, true, true},
      {"silence après un nonce dévoilé", "1111", 3, false, true},
      {"bit faux, refusé par le récepteur", "9998", 3, false, true},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    BancGuichet b;
    AppairageInitiateur a = initiateur(c.essai, 21);
    b.mener(a, intrus, a.dernierMessage(), c.messages);
    if (c.refusInitiateur) {
      b.guichet.recevoir(MessagePasskey::refus(a.dernierMessage().tentative()), intrus, b.t);
    }
    b.t += 6 * sec;
    b.guichet.surveiller(b.t);
    EXPECT_EQ(b.guichet.code().chiffres(), c.entame ? "2222" : "1111");
    EXPECT_EQ(b.guichet.essaisEchoues(), c.entame ? 1 : 0);
    EXPECT_TRUE(b.essayer(b.guichet.code().chiffres(), poste, 22));
  }
  BancGuichet fixe(CodeAppairage::depuisSaisie("4321"));
  AppairageInitiateur a = initiateur("0000", 23);
  fixe.mener(a, intrus, a.dernierMessage(), 2);
  fixe.guichet.recevoir(MessagePasskey::refus(a.dernierMessage().tentative()), intrus, fixe.t);
  EXPECT_FALSE(fixe.guichet.codeEpuise());
  EXPECT_TRUE(fixe.essayer("4321", poste, 24));
  EXPECT_EQ(fixe.guichet.epuisement(), GuichetAppairage::Epuisement::parAppairage);
  EXPECT_FALSE(fixe.essayer("4321", intrus, 25)) << "un code fixé ne sert qu'une fois";
  EXPECT_EQ(fixe.ailleurs, 0);
}

// Un intrus enchaîne `debut`, `engagement`, `refus` aussi vite qu'il peut, glissant son
// `debut` suivant avant chaque `refus`, et envoie des `refus` au numéro de la tentative du
// vrai émetteur. Celui-ci, qui répète son dernier message toutes les 300 ms, s'appaire avec
// le code qu'il a lu : rien n'est tiré ni compté.
TEST(GuichetAppairage, UnIntrusNeBloquePasLAppairage) {
  BancGuichet b;
  AppairageInitiateur vrai = initiateur("1111", 31);
  std::map<std::uint64_t, AppairageInitiateur> intrus_;
  std::optional<MessagePasskey> suite;
  int engagementsIntrus = 0;
  // Livre un message et mène l'échange qu'il déclenche, des deux côtés.
  std::function<void(const MessagePasskey&, const PointReseau&)> livrer =
      [&](const MessagePasskey& m, const PointReseau& de) {
        for (const auto& r : b.guichet.recevoir(m, de, b.t).reponses) {
          if (r.vers == poste) {
            if (auto reponse = vrai.recevoir(r.message)) suite = reponse;
          } else if (auto it = intrus_.find(r.message.tentative()); it != intrus_.end()) {
            if (auto e = it->second.recevoir(r.message);
                e && e->comme<MessagePasskey::Engagement>() != nullptr) {
              ++engagementsIntrus;
              livrer(*e, intrus);
            }
          }
        }
      };
  std::uint64_t precedente = 0;
  for (int i = 0; i < 1200; ++i) {
    b.t += 1'000'000;  // 1 ms par tour
    AppairageInitiateur a = initiateur("0000", 100 + i);
    const MessagePasskey debut = a.dernierMessage();
    intrus_.emplace(debut.tentative(), std::move(a));
    livrer(debut, intrus);
    if (precedente != 0) livrer(MessagePasskey::refus(precedente), intrus);
    livrer(MessagePasskey::refus(vrai.dernierMessage().tentative()), intrus);
    precedente = debut.tentative();
    if (suite || (i >= 300 && i % 300 == 0))  // l'attaque porte depuis 300 ms
      livrer(suite ? *std::exchange(suite, std::nullopt) : vrai.dernierMessage(), poste);
  }
  EXPECT_TRUE(reussi(vrai));
  EXPECT_GT(engagementsIntrus, 500) << "l'attaque n'a pas porté";
  EXPECT_EQ(b.tires, 2u) << "seul l'appairage réussi a tiré un code neuf";
  EXPECT_EQ(b.guichet.essaisEchoues(), 0);
}

// Seul un secret essayé et faux compte ; l'identifiant inconnu n'essaie rien. Chaque échec
// reçoit le même refus ; aucun ne touche au code, pas plus que la reprise réussie. Quatre
// secrets faux ouvrent la pause des codes : la reprise suivante, même juste, est refusée
// d'office, sans recherche ; après la pause, elle passe.
TEST(GuichetReprise, SeulUnSecretFauxCompteEtLaPauseDesCodesVaut) {
  SecretPaire pskFausse = paire(1);
  pskFausse.psk.octets()[31] ^= 1;
  const struct {
    const char* nom;
    SecretPaire secret;
    bool reussit;
    int echecs;
  } cas[]{
      {"secret retenu", paire(1), true, 0},
      {"PSK fausse", pskFausse, false, 1},
      {"identifiant inconnu", paire(2), false, 0},
  };
  for (const auto& c : cas) {
    SCOPED_TRACE(c.nom);
    BancGuichet b;
    RepriseInitiateur i = initiateur(c.secret, 3);
    const auto reprise = b.mener(i, poste, i.dernierMessage());
    ASSERT_EQ(reprise.has_value(), c.reussit);
    if (reprise) {
      EXPECT_EQ(reprise->nom, "Portable");
      EXPECT_EQ(reprise->source, poste);
    } else {
      EXPECT_EQ(std::get<RepriseInitiateur::Echoue>(i.etat()), RepriseInitiateur::Echoue{true});
    }
    EXPECT_EQ(b.guichet.reprisesEchouees(), c.echecs);
    EXPECT_EQ(b.guichet.echecsRetenus(b.t), c.echecs);
    EXPECT_EQ(b.guichet.code().chiffres(), "1111");
  }

  BancGuichet b;
  for (std::uint64_t n = 0; n < 4; ++n) {
    RepriseInitiateur i = initiateur(pskFausse, 10 + n);
    EXPECT_FALSE(b.mener(i, intrus, i.dernierMessage()));
  }
  ASSERT_GT(b.guichet.pauseRestanteNs(b.t), 0u);
  const int recherches = b.memoire->recherches;
  RepriseInitiateur vrai = initiateur(paire(1), 20);
  EXPECT_FALSE(b.mener(vrai, poste, vrai.dernierMessage()));
  EXPECT_EQ(b.memoire->recherches, recherches);
  b.t += b.guichet.pauseRestanteNs(b.t);
  RepriseInitiateur apres = initiateur(paire(1), 21);
  EXPECT_TRUE(b.mener(apres, poste, apres.dernierMessage()));
}

// Pendant une tentative, un tiers envoie un refus et une preuve fausse au même numéro, puis
// sa propre ouverture : rien n'échoue ni ne compte, la tentative finit ; l'ouverture du
// tiers, gardée, est servie ensuite. Une tentative muette cède la place 1,5 s après qu'un
// autre attend.
TEST(GuichetReprise, UnTiersNeDerangePasUneTentative) {
  BancGuichet b;
  RepriseInitiateur vrai = initiateur(paire(1), 30);
  const auto preuve = b.recues(vrai, poste, b.guichet.recevoir(vrai.dernierMessage(), poste, b.t));
  ASSERT_TRUE(preuve);
  const std::uint64_t n = vrai.dernierMessage().tentative();
  RepriseInitiateur autre = initiateur(paire(1), 31);
  for (const auto& m : {MessageReprise(n, MessageReprise::Refus{}),
                        MessageReprise(n, MessageReprise::Preuve{}), autre.dernierMessage()}) {
    const auto i = b.guichet.recevoir(m, intrus, b.t);
    EXPECT_TRUE(i.reponsesReprise.empty());
    EXPECT_FALSE(i.reprise);
  }
  auto issue = b.guichet.recevoir(*preuve, poste, b.t);
  EXPECT_TRUE(issue.reprise);
  ASSERT_EQ(issue.reponsesReprise.size(), 1u) << "l'ouverture gardée, servie";
  EXPECT_EQ(issue.reponsesReprise[0].vers, intrus);

  // Le tiers (qui ne répond plus) tient la tentative ; le vrai attend, puis passe. La même
  // source recommence ensuite sous un autre numéro (sa réponse perdue) : sa nouvelle
  // ouverture passe 1,5 s après, sans attendre les 5 s de silence.
  for (std::uint64_t graine : {32, 33}) {
    RepriseInitiateur encore = initiateur(paire(1), graine);
    EXPECT_TRUE(b.guichet.recevoir(encore.dernierMessage(), poste, b.t).reponsesReprise.empty());
    b.t += 1'400'000'000;
    EXPECT_TRUE(b.guichet.surveiller(b.t).reponsesReprise.empty());
    b.t += 200'000'000;
    EXPECT_TRUE(b.recues(encore, poste, b.guichet.surveiller(b.t))) << graine;
  }
  EXPECT_EQ(b.guichet.reprisesEchouees(), 0);
  EXPECT_EQ(b.ailleurs, 0);
}

}  // namespace
}  // namespace ravlo::essai_guichet
