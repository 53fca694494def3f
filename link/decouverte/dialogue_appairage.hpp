#pragma once

#include <asio/awaitable.hpp>
#include <chrono>
#include <expected>
#include <functional>
#include <memory>

#include "link/decouverte/erreur_appairage.hpp"
#include "plateforme/connexion_datagramme.hpp"
#include "plateforme/executeur.hpp"
#include "plateforme/horloge.hpp"
#include "protocol/appairage/appairage_initiateur.hpp"

namespace ravlo {

/// Ce que le dialogue emprunte à la plateforme.
struct PlateformeDialogue {
  std::shared_ptr<File> file;  ///< la file du chercheur, "ravlo.chercheur"
  std::shared_ptr<FabriqueConnexions> connexions;
  const Horloge* horloge = &horlogeSysteme();
};

/// Mène un initiateur d'appairage jusqu'à son verdict sur une connexion neuve vers `point`.
///
/// Le premier message part aussitôt ; on attend les réponses 700 ms à la fois et, après
/// chaque attente muette, le dernier message repart (une perte dans un sens ou dans l'autre
/// se répare ainsi). Budget : 8 s sur l'horloge continue depuis le premier envoi. Un
/// datagramme commençant par « { » vient d'une app trop ancienne ; un datagramme illisible
/// est ignoré. Le dernier message, celui qui clôt l'échange, est envoyé et son traitement
/// attendu avant que la connexion soit annulée. Dans tous les cas la connexion est annulée
/// et la boîte fermée avant le retour. L'appelant lit ensuite l'état de l'initiateur.
///
/// Coroutine à lancer sur le contexte de `plateforme.file`.
[[nodiscard]] asio::awaitable<std::expected<void, EchecDialogue>> dialoguer(
    AppairageInitiateur& initiateur, PointReseau point, PlateformeDialogue plateforme);

/// Lance `dialoguer` sur la file du chercheur et rend son issue sur `principal`.
void lancerDialogue(const std::shared_ptr<AppairageInitiateur>& initiateur, PointReseau point,
                    PlateformeDialogue plateforme, Executeur& principal,
                    std::function<void(std::expected<void, EchecDialogue>)> issue);

namespace dialogue {
inline constexpr std::chrono::milliseconds attente{700};
inline constexpr std::chrono::seconds budget{8};
}  // namespace dialogue

}  // namespace ravlo
