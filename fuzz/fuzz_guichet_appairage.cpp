// SPDX-License-Identifier: MPL-2.0
// Le guichet d'appairage du récepteur face à trois sources : de vrais initiateurs (au bon code
// ou non), des messages hostiles, des silences et le temps qui passe. Il ne plante jamais et
// tient ses invariants : au plus trois réponses par message et une par tic, jamais vers une
// source muette, une pause bornée, un appairage seulement pour une source qui a essayé le code
// montré, après quoi ce code ne se montre plus.
#include <array>
#include <memory>
#include <set>

#include "faux/hasard_deterministe.hpp"
#include "outils_fuzz.hpp"
#include "protocol/appairage/appairage_initiateur.hpp"
#include "recepteur/guichet_appairage.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* donnees, std::size_t taille) {
  using namespace ravlo;
  FuzzedDataProvider fdp(donnees, taille);
  std::uint16_t prochainCode = fdp.ConsumeIntegral<std::uint16_t>();
  std::optional<CodeAppairage> fixe;
  if (fdp.ConsumeBool()) fixe = codeDe(prochainCode);
  GuichetAppairage guichet({fixe, [&] { return codeDe(prochainCode += 7919); },
                            std::make_shared<HasardDeterministe>(3)});

  struct Source {
    PointReseau point;
    std::unique_ptr<AppairageInitiateur> initiateur;
    std::set<std::string> codesEssayes;
    bool aParle = false;
  };
  std::array<Source, 3> sources{Source{{"127.0.0.1", 40000}, nullptr, {}, false},
                                Source{{"::1", 40001}, nullptr, {}, false},
                                Source{{"127.0.0.2", 40002}, nullptr, {}, false}};
  std::uint64_t graine = 100;
  const auto nouvelInitiateur = [&](Source& s) {
    const CodeAppairage code =
        fdp.ConsumeBool() ? guichet.code() : codeDe(fdp.ConsumeIntegral<std::uint16_t>());
    s.codesEssayes.insert(code.chiffres());
    s.initiateur = std::make_unique<AppairageInitiateur>(
        code, "Fuzz", std::make_shared<HasardDeterministe>(graine++));
  };
  for (auto& s : sources) nouvelInitiateur(s);
  MessagesHostiles hostiles(fdp);
  InstantNs t = 1'000'000'000;

  const auto verifier = [&](const GuichetAppairage::Issue& issue, const std::string& codeAvant,
                            std::size_t maximum) {
    exiger(issue.reponses.size() <= maximum);
    for (const auto& r : issue.reponses) {
      bool connue = false;
      for (auto& s : sources) {
        if (s.point != r.vers) continue;
        connue = s.aParle;
        hostiles.retenir(r.message);
        if (auto suite = s.initiateur->recevoir(r.message)) hostiles.retenir(*suite);
      }
      exiger(connue);
    }
    if (issue.appairage) {
      bool essaye = false;
      for (auto& s : sources)
        essaye |= s.point == issue.appairage->source && s.codesEssayes.contains(codeAvant);
      exiger(essaye);
      exiger(fixe ? guichet.codeEpuise() : guichet.code().chiffres() != codeAvant);
    }
    exiger(guichet.pauseRestanteNs(t) <= PolitiqueAppairage::pauseMaxNs);
  };

  while (fdp.remaining_bytes() > 0) {
    const std::string codeAvant = guichet.code().chiffres();
    switch (fdp.ConsumeIntegralInRange(0, 4)) {
      case 0:
        t += fdp.ConsumeIntegralInRange<InstantNs>(0, 12'000'000'000);
        break;
      case 1:
        verifier(guichet.surveiller(t), codeAvant, 1);
        break;
      case 2:
        nouvelInitiateur(sources[fdp.ConsumeIntegralInRange<std::size_t>(0, 2)]);
        break;
      default: {
        Source& s = sources[fdp.ConsumeIntegralInRange<std::size_t>(0, 2)];
        std::optional<MessagePasskey> m = s.initiateur->dernierMessage();
        if (fdp.ConsumeBool()) m = hostiles.suivant(m->tentative());
        if (!m) break;
        s.aParle = true;
        hostiles.retenir(*m);
        verifier(guichet.recevoir(*m, s.point, t), codeAvant, 3);
      }
    }
  }
  return 0;
}
