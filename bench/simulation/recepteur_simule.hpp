// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <memory>
#include <optional>
#include <variant>

#include "bench/recepteur_appaire.hpp"
#include "protocol/messages/canal_horloge.hpp"
#include "protocol/messages/paquet_audio.hpp"
#include "recepteur/recepteur.hpp"

namespace ravlo::simulation {

/// Un vrai `Recepteur` et sa file, appairé à l'émetteur simulé : la simulation lui passe ce
/// que le réseau livre, le tic et le rendu, comme le fait le service, et l'émetteur ne parle
/// avec lui que par enveloppes scellées. Ce que le récepteur câble (estimation de l'horloge,
/// pilote, messages de groupe) y est donc tel qu'il l'est dans le programme.
struct RecepteurSimule {
  RecepteurSimule()
      : lecture(std::make_shared<FileLecture>(PiloteFile::amorceDepartTrames, true)),
        recepteur(reglagesAppaires(), lecture),
        liaison(appairer(recepteur)) {}

  /// Le contenu scellé tel que l'émetteur l'envoie.
  [[nodiscard]] Octets sceller(VueOctets contenu, SorteEnveloppe sorte) const {
    return *liaison.scelleur->sceller(contenu, sorte);
  }
  [[nodiscard]] Octets paquet(const PaquetAudio& p) const {
    return sceller(p.encoder(), SorteEnveloppe::audio);
  }
  /// Ce qu'un envoi du récepteur dit sur le canal d'horloge, ouvert par l'émetteur.
  [[nodiscard]] std::optional<MessageCanalHorloge> ouvrir(const Envoi& e) const {
    const auto ouvert = liaison.ouvreur->ouvrir(e.donnees);
    if (!ouvert || ouvert->sorte != SorteEnveloppe::horloge) return std::nullopt;
    const auto lu = lireCanalHorloge(ouvert->contenu);
    return lu ? std::optional(*lu) : std::nullopt;
  }
  void recevoir(VueOctets scelle, InstantNs maintenant) {
    recepteur.recevoir(scelle, sourceAppairee, maintenant);
  }

  std::shared_ptr<FileLecture> lecture;
  Recepteur recepteur;
  Liaison liaison;  ///< celle de l'émetteur
};

}  // namespace ravlo::simulation
