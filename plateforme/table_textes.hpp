// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/base/verrou.hpp"
#include "protocol/textes/catalogue_textes.hpp"
#include "protocol/textes/textes.hpp"

namespace ravlo {

/// La table de textes du domaine "ravlo-link" : chaque texte a pour clé sa phrase française,
/// et une traduction manquante rend la phrase française elle-même.
///
/// Les catalogues sont rangés comme ceux de gettext, `<racine>/<locale>/LC_MESSAGES/
/// ravlo-link.mo`, et la locale demandée se cherche du plus précis au plus général :
/// pour "fr_CA.UTF-8@euro", fr_CA.UTF-8@euro, fr_CA.utf8@euro, fr_CA@euro, fr.UTF-8@euro,
/// fr.utf8@euro, fr@euro, fr_CA.UTF-8, fr_CA.utf8, fr_CA, fr.UTF-8, fr.utf8, fr. "C",
/// "POSIX", une locale vide ou un nom hors de [A-Za-z0-9_.@-] n'ont pas de catalogue à eux.
/// Une liste de priorité à la LANGUAGE ("en_GB:de:fr") se cherche locale après locale ; comme
/// chez gettext, un "C" ou "POSIX" dans la liste arrête la recherche, et le français aussi :
/// la langue des clés n'a rien à chercher plus loin.
/// Une clé qu'aucun catalogue de la locale ne traduit se lit ensuite dans le catalogue
/// français (`localeDeRepli`), qui ne tient que les clés ne disant pas encore le français du
/// produit ; la clé elle-même en dernier. Une racine vide ne tient aucun catalogue.
///
/// La locale est un argument, pas celle du processus : on traduit pour qui on veut, sans que
/// la locale soit installée sur le système. Chaque catalogue est lu au premier besoin puis
/// gardé ; un fichier absent ou abîmé compte comme aucune traduction. Appelable de tout fil.
class TableTextes {
 public:
  static constexpr std::string_view domaine = "ravlo-link";
  static constexpr std::string_view localeDeRepli = "fr";

  explicit TableTextes(std::filesystem::path racine) : racine_(std::move(racine)) {}

  /// La traduction de `cle` pour `locale`, ou `cle` elle-même.
  [[nodiscard]] std::string texte(std::string_view cle, std::string_view locale) const;

  /// Les noms de dossiers essayés pour `locale`, du plus précis au plus général.
  [[nodiscard]] static std::vector<std::string> candidats(std::string_view locale);
  /// Ceux de chaque locale d'une liste de priorité, dans son ordre, sans doublon.
  [[nodiscard]] static std::vector<std::string> candidatsDeLaListe(std::string_view priorites);

  [[nodiscard]] const std::filesystem::path& racine() const { return racine_; }

 private:
  [[nodiscard]] std::shared_ptr<const CatalogueTextes> catalogue(const std::string& nom) const;

  const std::filesystem::path racine_;
  mutable Verrou verrou_;
  // Absent : pas encore cherché ; nul : pas de catalogue utilisable.
  mutable std::map<std::string, std::shared_ptr<const CatalogueTextes>, std::less<>> charges_
      GARDE_PAR(verrou_);
};

/// Lie au processus (`lierTraducteur`) une table sur la racine `racine`, comme
/// `bindtextdomain` ; une racine vide n'en tient aucun catalogue.
void lierTableTextes(std::filesystem::path racine);

}  // namespace ravlo
