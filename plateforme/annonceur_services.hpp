// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ravlo {

/// Où en est une annonce de service sur le réseau local.
struct EtatAnnonce {
  enum class Cas : std::uint8_t { annoncee, indisponible };
  Cas cas = Cas::indisponible;
  std::string nom;     ///< le nom annoncé (un autre que celui demandé s'il était pris)
  std::string raison;  ///< pour `indisponible` : ce qu'en dit le service
  bool operator==(const EtatAnnonce&) const = default;
};

/// Annonce un service DNS-SD (nom, type, port, entrées TXT « cle=valeur ») tant qu'il n'est
/// pas retiré.
class AnnonceurServices {
 public:
  using RappelEtat = std::function<void(EtatAnnonce)>;
  virtual ~AnnonceurServices() = default;
  /// `etat` est appelé sur le fil du service, à chaque changement, même avant le retour.
  virtual void annoncer(const std::string& nom, const std::string& type, std::uint16_t port,
                        const std::vector<std::string>& txt, RappelEtat etat) = 0;
  /// Plus aucun rappel après le retour.
  virtual void retirer() = 0;
};

}  // namespace ravlo
