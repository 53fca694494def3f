// SPDX-License-Identifier: MPL-2.0
// Un appairage complet en mémoire : les deux côtés, 60 messages encodés puis décodés comme
// sur le fil, accord X25519, 56 engagements calculés ou vérifiés, dérivation des clés et
// confirmations. Objectif : moins d'une milliseconde de temps processeur. La référence
// est le plancher cryptographique : les quatre multiplications X25519 de l'échange.
#include <benchmark/benchmark.h>

#include <memory>
#include <optional>

#include "protocol/appairage/appairage_initiateur.hpp"
#include "protocol/appairage/appairage_repondeur.hpp"
#include "protocol/crypto/hasard_systeme.hpp"

namespace ravlo {
namespace {

MessagePasskey parLeFil(const MessagePasskey& m) {
  return *MessagePasskey::decoder(m.donnees());
}

void BM_AppairageComplet(benchmark::State& etat) {
  const CodeAppairage code = *CodeAppairage::depuisSaisie("2024");
  auto hasard = std::make_shared<HasardSysteme>();
  for (auto _ : etat) {
    AppairageInitiateur initiateur(code, "Poste de Léa", hasard);
    AppairageRepondeur repondeur(code, hasard);
    std::optional<MessagePasskey> versRepondeur = initiateur.dernierMessage();
    while (versRepondeur) {
      const auto versInitiateur = repondeur.recevoir(parLeFil(*versRepondeur));
      if (!versInitiateur) break;
      versRepondeur = initiateur.recevoir(parLeFil(*versInitiateur));
    }
    if (!std::holds_alternative<AppairageInitiateur::Reussi>(initiateur.etat())) {
      etat.SkipWithError("appairage manqué");
      break;
    }
    benchmark::DoNotOptimize(initiateur.etat());
  }
}
BENCHMARK(BM_AppairageComplet)->Unit(benchmark::kMicrosecond);

void BM_ReferenceQuatreX25519(benchmark::State& etat) {
  HasardSysteme hasard;
  for (auto _ : etat) {
    const ClePriveeX25519 a(hasard.octetsAleatoires(32));
    const ClePriveeX25519 b(hasard.octetsAleatoires(32));
    benchmark::DoNotOptimize(a.accord(b.publique()));
    benchmark::DoNotOptimize(b.accord(a.publique()));
  }
}
BENCHMARK(BM_ReferenceQuatreX25519)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace ravlo
