// SPDX-License-Identifier: MPL-2.0
#include "plateforme/pulseaudio/requetes_pulse.hpp"

#include <pulse/error.h>
#include <pulse/introspect.h>

#include <algorithm>
#include <utility>

namespace ravlo::requetesPulse {
namespace {

template <class T>
struct Collecte {
  T valeur{};
  bool erreur = false;
};

// Attend une opération de succès simple.
StatutPulse attendreSucces(ContextePulse& c, pa_operation* operation,
                           const Collecte<int>& reponse) {
  if (!c.attendre(operation) || reponse.erreur || reponse.valeur == 0) return c.erreur();
  return 0;
}

void surSucces(pa_context*, int succes, void* u) {
  static_cast<Collecte<int>*>(u)->valeur = succes;
}

template <class T>
ResultatPulse<T> conclure(ContextePulse& c, pa_operation* operation, Collecte<T>& collecte) {
  if (!c.attendre(operation) || collecte.erreur) return {c.erreur(), T{}};
  return {0, std::move(collecte.valeur)};
}

}  // namespace

ResultatPulse<std::string> nomPuitsParDefaut(ContextePulse& c) {
  Collecte<std::string> collecte;
  pa_operation* operation = pa_context_get_server_info(
      c.contexte(),
      [](pa_context*, const pa_server_info* i, void* u) {
        auto* col = static_cast<Collecte<std::string>*>(u);
        if (i == nullptr || i->default_sink_name == nullptr) {
          col->erreur = true;
          return;
        }
        col->valeur = i->default_sink_name;
      },
      &collecte);
  if (!c.attendre(operation)) return {c.erreur(), {}};
  if (collecte.erreur || collecte.valeur.empty()) return {PA_ERR_NOENTITY, {}};
  return {0, std::move(collecte.valeur)};
}

ResultatPulse<std::string> nomServeur(ContextePulse& c) {
  Collecte<std::string> collecte;
  pa_operation* operation = pa_context_get_server_info(
      c.contexte(),
      [](pa_context*, const pa_server_info* i, void* u) {
        auto* col = static_cast<Collecte<std::string>*>(u);
        if (i == nullptr || i->server_name == nullptr) {
          col->erreur = true;
          return;
        }
        col->valeur = i->server_name;
      },
      &collecte);
  return conclure(c, operation, collecte);
}

void demanderCoupure(ContextePulse& c, const char* nom, std::atomic<bool>& coupe) {
  pa_operation* operation = pa_context_get_sink_info_by_name(
      c.contexte(), nom,
      [](pa_context*, const pa_sink_info* i, int fin, void* u) {
        if (fin == 0 && i != nullptr) static_cast<std::atomic<bool>*>(u)->store(i->mute != 0);
      },
      &coupe);
  if (operation != nullptr) pa_operation_unref(operation);
}

ResultatPulse<std::vector<PuitsPulse>> listePuits(ContextePulse& c) {
  Collecte<std::vector<PuitsPulse>> collecte;
  pa_operation* operation = pa_context_get_sink_info_list(
      c.contexte(),
      [](pa_context*, const pa_sink_info* i, int fin, void* u) {
        auto* col = static_cast<Collecte<std::vector<PuitsPulse>>*>(u);
        if (fin < 0) col->erreur = true;
        if (fin != 0 || i == nullptr) return;
        col->valeur.push_back(PuitsPulse{
            i->index, i->name != nullptr ? i->name : "",
            i->monitor_source_name != nullptr ? i->monitor_source_name : "", i->owner_module});
      },
      &collecte);
  return conclure(c, operation, collecte);
}

namespace {

template <class Critere>
ResultatPulse<PuitsPulse> trouverPuits(ContextePulse& c, Critere critere) {
  auto liste = listePuits(c);
  if (liste.statut != 0) return {liste.statut, {}};
  const auto it = std::find_if(liste.valeur.begin(), liste.valeur.end(), critere);
  if (it == liste.valeur.end()) return {PA_ERR_NOENTITY, {}};
  return {0, std::move(*it)};
}

}  // namespace

ResultatPulse<PuitsPulse> puitsNomme(ContextePulse& c, const std::string& nom) {
  return trouverPuits(c, [&](const PuitsPulse& p) { return p.nom == nom; });
}

ResultatPulse<PuitsPulse> puitsNumero(ContextePulse& c, std::uint32_t index) {
  return trouverPuits(c, [&](const PuitsPulse& p) { return p.index == index; });
}

ResultatPulse<std::vector<EntreePulse>> listeEntrees(ContextePulse& c) {
  Collecte<std::vector<EntreePulse>> collecte;
  pa_operation* operation = pa_context_get_sink_input_info_list(
      c.contexte(),
      [](pa_context*, const pa_sink_input_info* i, int fin, void* u) {
        auto* col = static_cast<Collecte<std::vector<EntreePulse>>*>(u);
        if (fin < 0) col->erreur = true;
        if (fin != 0 || i == nullptr) return;
        col->valeur.push_back(EntreePulse{i->index, i->sink});
      },
      &collecte);
  return conclure(c, operation, collecte);
}

ResultatPulse<std::uint32_t> chargerModule(ContextePulse& c, const char* nom,
                                           const std::string& arguments) {
  Collecte<std::uint32_t> collecte{PA_INVALID_INDEX};
  pa_operation* operation = pa_context_load_module(
      c.contexte(), nom, arguments.c_str(),
      [](pa_context*, std::uint32_t index, void* u) {
        static_cast<Collecte<std::uint32_t>*>(u)->valeur = index;
      },
      &collecte);
  if (!c.attendre(operation) || collecte.valeur == PA_INVALID_INDEX) return {c.erreur(), 0};
  return {0, collecte.valeur};
}

StatutPulse dechargerModule(ContextePulse& c, std::uint32_t module) {
  Collecte<int> reponse;
  return attendreSucces(c, pa_context_unload_module(c.contexte(), module, surSucces, &reponse),
                        reponse);
}

StatutPulse choisirPuitsParDefaut(ContextePulse& c, const std::string& nom) {
  Collecte<int> reponse;
  return attendreSucces(
      c, pa_context_set_default_sink(c.contexte(), nom.c_str(), surSucces, &reponse), reponse);
}

StatutPulse deplacerEntree(ContextePulse& c, std::uint32_t entree, const std::string& puits) {
  Collecte<int> reponse;
  return attendreSucces(
      c,
      pa_context_move_sink_input_by_name(c.contexte(), entree, puits.c_str(), surSucces, &reponse),
      reponse);
}

}  // namespace ravlo::requetesPulse
