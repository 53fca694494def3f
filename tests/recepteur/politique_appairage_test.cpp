// SPDX-License-Identifier: MPL-2.0
// La borne de la devinette en ligne, en temps simulé : la politique seule, puis le guichet
// face à des initiateurs qui se trompent, se taisent ou attendent leur tour.
#include "recepteur/politique_appairage.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <utility>

#include "faux/hasard_deterministe.hpp"
#include "protocol/appairage/appairage_initiateur.hpp"
#include "recepteur/guichet_appairage.hpp"

namespace ravlo {
namespace {

constexpr InstantNs sec = 1'000'000'000;
using Strategie = std::function<InstantNs(const PolitiqueAppairage&, InstantNs)>;

// Espérance du temps qu'il faut pour deviner : chaque essai testé a une chance sur 10 000
// (le code est tiré à neuf après chaque échec) ; l'attaquant teste selon sa stratégie, la
// politique en décide. La série est coupée quand il reste moins de 10⁻⁹ de chances, ce qui
// ne peut que sous-estimer.
double joursPourDeviner(const Strategie& prochainEssai) {
  constexpr double chance = 1e-4;
  PolitiqueAppairage politique;
  InstantNs t = 0;
  double esperance = 0;
  for (double survie = 1; survie > 1e-9; survie *= 1 - chance) {
    esperance += survie * chance * static_cast<double>(t);
    politique.noterEchec(t);
    t = std::max(prochainEssai(politique, t), t + politique.pauseRestanteNs(t));
  }
  return esperance / 1e9 / 86'400;
}

// Trois fautes de frappe ne ralentissent pas ; un pardon par 6 min sans échec. Deviner prend
// plus de 30 jours quelle que soit la cadence (la plus haute pause, elle, est bornée par
// fuzz_guichet_appairage).
TEST(PolitiqueAppairage, FautesDeFrappePardonsEtDevinerPrendPlusDeTrenteJours) {
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

  std::vector<std::pair<std::string, Strategie>> strategies{
      {"tout pardonné avant chaque rafale", [](const PolitiqueAppairage& p, InstantNs t) {
         if (p.pauseRestanteNs(t) == 0) return t;
         return t + static_cast<InstantNs>(p.echecsRetenus(t)) * PolitiqueAppairage::pardonNs;
       }}};
  for (const std::uint64_t secondes : {0, 1, 10, 60, 300, 359, 360, 361, 720, 3600}) {
    strategies.emplace_back(
        "un essai toutes les " + std::to_string(secondes) + " s",
        [secondes](const PolitiqueAppairage&, InstantNs t) { return t + secondes * sec; });
  }
  double pire = 1e9;
  for (const auto& [nom, strategie] : strategies) {
    const double jours = joursPourDeviner(strategie);
    EXPECT_GE(jours, 30.0) << nom;
    pire = std::min(pire, jours);
  }
  EXPECT_GT(pire, 40.0) << "la pleine vitesse (0 s), la meilleure stratégie, donne 41,6 jours";
}

AppairageInitiateur initiateur(const std::string& code, std::uint64_t graine) {
  return {*CodeAppairage::depuisSaisie(code), "Portable",
          std::make_shared<HasardDeterministe>(graine)};
}
bool reussi(const AppairageInitiateur& a) {
  return std::holds_alternative<AppairageInitiateur::Reussi>(a.etat());
}

// Des initiateurs face au guichet, chacun depuis sa source ; le temps avance à la main.
struct BancGuichet {
  explicit BancGuichet(std::optional<CodeAppairage> fixe = std::nullopt)
      : guichet({fixe, [this] { return *CodeAppairage::depuisSaisie(codes.at(tires++)); },
                 std::make_shared<HasardDeterministe>(7)}) {}

  /// Livre `m` de `de`, puis mène l'échange tant que l'initiateur répond, au plus `pas`
  /// messages ; garde ce qui partait ailleurs.
  void echanger(AppairageInitiateur& a, const PointReseau& de, std::optional<MessagePasskey> m,
                int pas = 100) {
    for (; m && pas-- > 0;) m = recues(a, de, guichet.recevoir(*m, de, t));
  }
  std::optional<MessagePasskey> recues(AppairageInitiateur& a, const PointReseau& de,
                                       const GuichetAppairage::Issue& issue) {
    std::optional<MessagePasskey> suite;
    for (const auto& r : issue.reponses) {
      if (r.vers != de) {
        ailleurs.push_back(r);
      } else if (auto reponse = a.recevoir(r.message)) {
        suite = reponse;
      }
    }
    return suite;
  }
  bool essayer(const std::string& code, const PointReseau& de, std::uint64_t graine) {
    AppairageInitiateur a = initiateur(code, graine);
    echanger(a, de, a.dernierMessage());
    return reussi(a);
  }

  std::vector<std::string> codes{"1111", "2222", "3333", "4444", "5555", "6666", "7777"};
  std::size_t tires = 0;
  InstantNs t = 50 * sec;
  std::vector<GuichetAppairage::Reponse> ailleurs;
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
  b.echanger(etranger, intrus, debutEtranger, 1);
  AppairageInitiateur vrai = initiateur("1111", 12);
  for (int i = 0; i < 2; ++i) {  // toutes les 700 ms, sans réponse
    b.t += 700'000'000;
    b.echanger(etranger, intrus, debutEtranger, 1);
    EXPECT_FALSE(b.recues(vrai, poste, b.guichet.recevoir(vrai.dernierMessage(), poste, b.t)));
  }
  b.t += 200'000'000;  // 1,6 s sans progrès de l'intrus : le tic le congédie
  const auto suite = b.recues(vrai, poste, b.guichet.surveiller(b.t));
  ASSERT_TRUE(suite);
  b.echanger(vrai, poste, suite);
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
  std::optional<MessagePasskey> m = a.dernierMessage();
  for (const InstantNs t0 = lent.t; m && lent.t - t0 < 12 * sec;) {
    m = lent.recues(a, poste, lent.guichet.recevoir(*m, poste, lent.t));
    lent.t += sec;
    lent.guichet.surveiller(lent.t);
  }
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
    b.echanger(a, intrus, a.dernierMessage(), c.messages);
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
  fixe.echanger(a, intrus, a.dernierMessage(), 2);
  fixe.guichet.recevoir(MessagePasskey::refus(a.dernierMessage().tentative()), intrus, fixe.t);
  EXPECT_FALSE(fixe.guichet.codeEpuise());
  EXPECT_TRUE(fixe.essayer("4321", poste, 24));
  EXPECT_EQ(fixe.guichet.epuisement(), GuichetAppairage::Epuisement::parAppairage);
  EXPECT_FALSE(fixe.essayer("4321", intrus, 25)) << "un code fixé ne sert qu'une fois";
  EXPECT_TRUE(fixe.ailleurs.empty());
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
    if (suite) {
      livrer(*std::exchange(suite, std::nullopt), poste);
    } else if (i >= 300 && i % 300 == 0) {  // l'attaque porte depuis 300 ms
      livrer(vrai.dernierMessage(), poste);
    }
  }
  EXPECT_TRUE(reussi(vrai));
  EXPECT_GT(engagementsIntrus, 500) << "l'attaque n'a pas porté";
  EXPECT_EQ(b.tires, 2u) << "seul l'appairage réussi a tiré un code neuf";
  EXPECT_EQ(b.guichet.essaisEchoues(), 0);
}

}  // namespace
}  // namespace ravlo
