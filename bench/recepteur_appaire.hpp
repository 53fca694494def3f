// SPDX-License-Identifier: MPL-2.0
#pragma once

// Un récepteur appairé d'avance, pour les mesures et le fuzzing de son point d'entrée : le
// même appairage à chaque fois (code 0042, tirages déterministes), joué par ses datagrammes.

#include <memory>
#include <optional>

#include "faux/hasard_deterministe.hpp"
#include "protocol/appairage/appairage_initiateur.hpp"
#include "recepteur/recepteur.hpp"

namespace ravlo {

inline const PointReseau sourceAppairee{"127.0.0.1", 40000};

/// Appaire `recepteur` (réglé par `reglagesAppaires()`) ; rend la liaison de l'émetteur.
inline Liaison appairer(Recepteur& recepteur) {
  AppairageInitiateur initiateur(*CodeAppairage::depuisSaisie("0042"), "Banc",
                                 std::make_shared<HasardDeterministe>(2));
  std::optional<MessagePasskey> message = initiateur.dernierMessage();
  while (message) {
    const auto envois = recepteur.recevoir(message->donnees(), sourceAppairee, 1);
    message.reset();
    for (const auto& e : envois)
      if (auto lu = MessagePasskey::decoder(e.donnees)) message = initiateur.recevoir(*lu);
  }
  return std::get<AppairageInitiateur::Reussi>(initiateur.etat()).liaison;
}

inline GuichetAppairage::Reglages reglagesAppaires() {
  return {CodeAppairage::depuisSaisie("0042"), nullptr, std::make_shared<HasardDeterministe>(1)};
}

}  // namespace ravlo
