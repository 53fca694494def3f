// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <cstdio>
#include <expected>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "recepteur/carnet_expediteurs.hpp"
#include "recepteur/memoire_expediteurs.hpp"

namespace ravlo {

/// Le carnet des expéditeurs dans `dossier/expediteurs`, un fichier privé réécrit en entier à
/// chaque changement. Relu à chaque recherche : `ravlo-recepteur --oublier`, lancé à côté,
/// vaut dès l'ouverture suivante (une lecture de quelques Kio, à chaque reprise tentée).
/// Une panne de lecture ou d'écriture ne s'arrête pas là : elle va à `signaler`, et le
/// récepteur continue comme s'il ne connaissait personne. Sur le fil du guichet.
class CarnetFichier final : public MemoireExpediteurs {
 public:
  /// `secondes` : l'horloge murale (secondes depuis 1970).
  CarnetFichier(std::filesystem::path dossier, std::function<void(const std::string&)> signaler,
                std::function<std::int64_t()> secondes = secondesMurales);

  [[nodiscard]] std::expected<CarnetExpediteurs, std::string> charger() const;
  [[nodiscard]] std::expected<void, std::string> enregistrer(const CarnetExpediteurs& carnet) const;

  [[nodiscard]] std::optional<Paire> chercher(const IdentifiantPaire& id) override;
  void retenir(const SecretPaire& secret, const std::string& nom) override;
  void noterVenue(const IdentifiantPaire& id) override;

  static std::int64_t secondesMurales();

 private:
  std::filesystem::path chemin_;
  std::function<void(const std::string&)> signaler_;
  std::function<std::int64_t()> secondes_;
};

/// `ravlo-recepteur --oublier NOM` (`nom`) ou `--oublier-tout` (nul) sur le carnet de
/// `dossier` : dit ce qui a été oublié sur `messages`, ou pourquoi rien sur `erreurs` ; rend
/// le statut du programme (0, ou 1 pour un nom inconnu ou un carnet illisible).
int oublierExpediteurs(const std::filesystem::path& dossier, const std::optional<std::string>& nom,
                       const std::string& locale, std::FILE* messages, std::FILE* erreurs);

}  // namespace ravlo
