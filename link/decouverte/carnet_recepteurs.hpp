// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/decouverte/annonce_recepteur.hpp"
#include "protocol/base/octets.hpp"
#include "protocol/reprise/secret_paire.hpp"

namespace ravlo {

/// Un récepteur appairé au code, retenu pour le reprendre sans code.
struct RecepteurMemorise {
  std::optional<IdentifiantRecepteur> identifiant;  ///< s'il en annonçait un
  std::string adresse;  ///< « hôte:port » où il a été joint, comme `enTexte`
  SecretPaire paire;
  std::string nom;                ///< montré à l'utilisateur ; ni tabulation ni fin de ligne
  std::int64_t dernierUsage = 0;  ///< secondes de l'horloge murale
  bool operator==(const RecepteurMemorise&) const = default;
};

/// Au plus ce nombre de récepteurs : le moins récemment servi part le premier.
inline constexpr std::size_t carnetMax = 32;

/// Le fichier : une ligne d'en-tête, puis une ligne par récepteur, champs séparés par des
/// tabulations, le nom en dernier. Lecture stricte : une ligne fausse refuse tout le fichier
/// (il vient d'ailleurs, ou d'un disque abîmé), on repart alors d'un carnet vide.
[[nodiscard]] Octets ecrireCarnet(const std::vector<RecepteurMemorise>& carnet);
[[nodiscard]] std::optional<std::vector<RecepteurMemorise>> lireCarnet(VueOctets donnees);

/// Celui qu'on a devant soi : par identifiant quand le récepteur en annonce un (une entrée
/// retenue sans identifiant se reconnaît alors à son adresse), sinon par adresse.
[[nodiscard]] std::optional<RecepteurMemorise> chercherMemorise(
    const std::vector<RecepteurMemorise>& carnet,
    const std::optional<IdentifiantRecepteur>& identifiant, std::string_view adresse);

/// Ajoute ou remplace (même récepteur au sens de `chercherMemorise`), puis borne à `carnetMax`.
void retenirMemorise(std::vector<RecepteurMemorise>& carnet, RecepteurMemorise r);

/// Retire ceux nommés `nom` ou joints à l'adresse `nom` ; faux si aucun.
bool oublierMemorise(std::vector<RecepteurMemorise>& carnet, std::string_view nom);

/// Où le carnet se garde. Relu à chaque usage : un autre processus (`ravlo-envoi --oublier`,
/// l'application) a pu l'écrire entre-temps.
class CarnetRecepteurs {
 public:
  virtual ~CarnetRecepteurs() = default;
  /// Vide si rien n'est retenu ou si le fichier n'est pas lisible.
  [[nodiscard]] virtual std::vector<RecepteurMemorise> lire() = 0;
  [[nodiscard]] virtual std::expected<void, std::string> ecrire(
      const std::vector<RecepteurMemorise>& carnet) = 0;

  /// Lire, changer, écrire ; rend ce que `changer` a rendu.
  bool modifier(const std::function<bool(std::vector<RecepteurMemorise>&)>& changer);
};

/// Le fichier `recepteurs` du dossier d'état de l'utilisateur, lisible de lui seul.
class CarnetFichier final : public CarnetRecepteurs {
 public:
  explicit CarnetFichier(std::filesystem::path chemin) : chemin_(std::move(chemin)) {}
  /// `dossierEtatUtilisateur("ravlo-link")/recepteurs`.
  [[nodiscard]] static std::filesystem::path cheminParDefaut();

  [[nodiscard]] std::vector<RecepteurMemorise> lire() override;
  [[nodiscard]] std::expected<void, std::string> ecrire(
      const std::vector<RecepteurMemorise>& carnet) override;

 private:
  std::filesystem::path chemin_;
};

}  // namespace ravlo
