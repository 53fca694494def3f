// SPDX-License-Identifier: MPL-2.0
#include "recepteur/compteurs_recepteur.hpp"

#include <nlohmann/json.hpp>

namespace ravlo {

namespace {
template <class T>
nlohmann::json ouNul(const std::optional<T>& v) {
  return v ? nlohmann::json(*v) : nlohmann::json(nullptr);
}
}  // namespace

std::string CompteursRecepteur::json() const {
  const nlohmann::json j = {{"appairages", appairages},
                            {"paquetsRecus", paquetsRecus},
                            {"paquetsPerdus", paquetsPerdus},
                            {"paquetsTardifs", paquetsTardifs},
                            {"paquetsReordonnes", paquetsReordonnes},
                            {"rattrapages", rattrapages},
                            {"enveloppesRefusees", enveloppesRefusees},
                            {"datagrammesEcartes", datagrammesEcartes},
                            {"essaisRefuses", essaisRefuses},
                            {"essaisEchoues", essaisEchoues},
                            {"reprises", reprises},
                            {"reprisesEchouees", reprisesEchouees},
                            {"pauseAppairageS", pauseAppairageS},
                            {"codesDits", codesDits},
                            {"demandesCodeRefusees", demandesCodeRefusees},
                            {"trous", trous},
                            {"latenceMs", ouNul(latenceMs)},
                            {"arriveeMs", ouNul(arriveeMs)},
                            {"reserveMs", ouNul(reserveMs)},
                            {"vitessePPM", vitessePPM},
                            {"cibleMs", ouNul(cibleMs)},
                            {"latenceGroupeMs", ouNul(latenceGroupeMs)},
                            {"besoinMs", ouNul(besoinMs)},
                            {"recalages", recalages},
                            {"latencesGroupeRefusees", latencesGroupeRefusees},
                            {"sousAlimentationsSortie", ouNul(sousAlimentationsSortie)},
                            {"latenceSortieMs", ouNul(latenceSortieMs)},
                            {"reprisesSortie", reprisesSortie},
                            {"erreurSortie", ouNul(erreurSortie)},
                            {"tamponReceptionOctets", ouNul(tamponReceptionOctets)},
                            {"questionsHorloge", questionsHorloge},
                            {"reponsesHorloge", reponsesHorloge},
                            {"finEnvoyee", finEnvoyee},
                            {"expediteur", ouNul(expediteur)}};
  return j.dump(2);
}

}  // namespace ravlo
