// SPDX-License-Identifier: MPL-2.0
#include "programmes/recepteur/carnet_fichier.hpp"

#include <sodium.h>

#include <chrono>

#include "plateforme/fichier_prive.hpp"
#include "protocol/textes/textes.hpp"

namespace ravlo {
namespace {

std::string texteErreurCarnet(const ErreurCarnet& e) {
  static constexpr const char* cas[]{"version inconnue",      "tronqué",
                                     "trop d'expéditeurs",    "nom invalide",
                                     "identifiant en double", "octets en trop"};
  return std::string(cas[static_cast<std::size_t>(e.cas)]) + " à l'octet " +
         std::to_string(e.position);
}

template <class... A>
void direLigne(std::FILE* flux, const std::string& modele, A... valeurs) {
  std::fprintf(flux, modele.c_str(), valeurs...);
  std::fputc('\n', flux);
}

}  // namespace

CarnetFichier::CarnetFichier(std::filesystem::path dossier,
                             std::function<void(const std::string&)> signaler,
                             std::function<std::int64_t()> secondes)
    : chemin_(std::move(dossier) / "expediteurs"),
      signaler_(std::move(signaler)),
      secondes_(std::move(secondes)) {}

std::int64_t CarnetFichier::secondesMurales() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::expected<CarnetExpediteurs, std::string> CarnetFichier::charger() const {
  auto lu = lireFichierPrive(chemin_, CarnetExpediteurs::octetsMax);
  if (!lu) return std::unexpected(lu.error());
  if (!*lu) return CarnetExpediteurs{};
  auto carnet = CarnetExpediteurs::lire(**lu);
  sodium_memzero((*lu)->data(), (*lu)->size());
  if (!carnet) return std::unexpected(chemin_.string() + " : " + texteErreurCarnet(carnet.error()));
  return std::move(*carnet);
}

std::expected<void, std::string> CarnetFichier::enregistrer(const CarnetExpediteurs& carnet) const {
  Octets octets = carnet.ecrire();
  auto ecrit = ecrireFichierPrive(chemin_, octets);
  sodium_memzero(octets.data(), octets.size());
  return ecrit;
}

std::optional<MemoireExpediteurs::Paire> CarnetFichier::chercher(const IdentifiantPaire& id) {
  const auto carnet = charger();
  if (!carnet) {
    signaler_(carnet.error());
    return std::nullopt;
  }
  const ExpediteurMemorise* e = carnet->chercher(id);
  if (e == nullptr) return std::nullopt;
  return Paire{e->paire, e->nom};
}

void CarnetFichier::retenir(const SecretPaire& secret, const std::string& nom) {
  // Illisible, le carnet est remplacé : ce qu'il tenait ne servait plus.
  auto carnet = charger();
  if (!carnet) signaler_(carnet.error());
  CarnetExpediteurs neuf = carnet.value_or(CarnetExpediteurs{});
  neuf.retenir(secret, nom, secondes_());
  if (auto ecrit = enregistrer(neuf); !ecrit) signaler_(ecrit.error());
}

void CarnetFichier::noterVenue(const IdentifiantPaire& id) {
  auto carnet = charger();
  if (!carnet) return signaler_(carnet.error());
  if (!carnet->noterVenue(id, secondes_())) return;  // oublié entre-temps
  if (auto ecrit = enregistrer(*carnet); !ecrit) signaler_(ecrit.error());
}

int oublierExpediteurs(const std::filesystem::path& dossier, const std::optional<std::string>& nom,
                       const std::string& locale, std::FILE* messages, std::FILE* erreurs) {
  if (dossier.empty()) {
    direLigne(erreurs, "%s",
              texte("Aucun dossier d'état connu : donne-le par --etat DOSSIER.", locale).c_str());
    return 1;
  }
  const CarnetFichier fichier(dossier, [](const std::string&) {});
  auto carnet = fichier.charger();
  if (!carnet) {
    direLigne(erreurs, texte("Mémoire des appairages illisible : %s.", locale),
              carnet.error().c_str());
    return 1;
  }
  std::size_t oublies = carnet->expediteurs().size();
  if (nom) {
    oublies = carnet->oublier(*nom);
    if (oublies == 0) {
      direLigne(erreurs, texte("Aucun expéditeur mémorisé ne s'appelle « %s ».", locale),
                nom->c_str());
      return 1;
    }
  } else {
    carnet->oublierTout();
  }
  if (auto ecrit = fichier.enregistrer(*carnet); !ecrit) {
    direLigne(erreurs, texte("Mémoire des appairages impossible à écrire : %s.", locale),
              ecrit.error().c_str());
    return 1;
  }
  if (nom) {
    direLigne(messages, texte("« %s » est oublié : il lui faudra de nouveau le code.", locale),
              nom->c_str());
  } else {
    direLigne(messages,
              texte("Expéditeurs oubliés : %zu. Il leur faudra de nouveau le code.", locale),
              oublies);
  }
  return 0;
}

}  // namespace ravlo
