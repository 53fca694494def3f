// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <chrono>
#include <expected>
#include <functional>
#include <memory>

#include "link/decouverte/erreur_appairage.hpp"
#include "plateforme/connexion_datagramme.hpp"
#include "plateforme/executeur.hpp"
#include "plateforme/horloge.hpp"
#include "protocol/appairage/appairage_initiateur.hpp"
#include "protocol/reprise/reprise_initiateur.hpp"

namespace ravlo {

/// Ce que le dialogue emprunte à la plateforme.
struct PlateformeDialogue {
  std::shared_ptr<File> file;  ///< la file du chercheur, "ravlo.chercheur"
  std::shared_ptr<FabriqueConnexions> connexions;
  const Horloge* horloge = &horlogeSysteme();
};

using IssueDialogue = std::expected<void, EchecDialogue>;

/// Mène un initiateur d'appairage jusqu'à son verdict sur une connexion neuve vers `point`,
/// puis rend son issue sur `principal`, une seule fois. L'appelant lit ensuite l'état de
/// l'initiateur.
///
/// Le premier message part aussitôt ; chaque datagramme arrivé ouvre une nouvelle attente de
/// 700 ms et, au bout d'une attente muette, le dernier message repart (une perte dans un sens
/// ou dans l'autre se répare ainsi). Budget : 8 s sur l'horloge continue depuis le premier
/// envoi. Un datagramme commençant par « { » vient d'une app trop ancienne ; un datagramme
/// illisible est ignoré. Le message qui clôt l'échange est envoyé et son traitement attendu
/// avant que la connexion soit annulée ; elle l'est dans tous les cas avant l'issue.
///
/// Tout le dialogue tourne sur `plateforme.file` ; seules ses tâches le tiennent en vie, si
/// bien qu'une file détruite l'emporte sans rien rendre.
void lancerDialogue(const std::shared_ptr<AppairageInitiateur>& initiateur, PointReseau point,
                    const PlateformeDialogue& plateforme, Executeur& principal,
                    std::function<void(IssueDialogue)> issue);

/// De même pour la reprise d'un appairage mémorisé, au budget plus court : un récepteur qui
/// ne la connaît pas ne répond rien, et l'utilisateur attend son code. `refus` finit aussitôt.
void lancerReprise(const std::shared_ptr<RepriseInitiateur>& initiateur, PointReseau point,
                   const PlateformeDialogue& plateforme, Executeur& principal,
                   std::function<void(IssueDialogue)> issue);

namespace dialogue {
inline constexpr std::chrono::milliseconds attente{700};
inline constexpr std::chrono::seconds budget{8};
inline constexpr std::chrono::milliseconds budgetReprise{2500};
}  // namespace dialogue

}  // namespace ravlo
