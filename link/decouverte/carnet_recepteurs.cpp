// SPDX-License-Identifier: MPL-2.0
#include "link/decouverte/carnet_recepteurs.hpp"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <ranges>

#include "plateforme/fichier_prive.hpp"

namespace ravlo {
namespace {

constexpr std::string_view enTete = "ravlo-recepteurs 1";
constexpr std::size_t tailleFichierMax = 64 * 1024;

std::string nomSurUneLigne(std::string_view nom) {
  std::string n(nom);
  std::ranges::replace_if(n, [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
  return n;
}

std::vector<std::string_view> couper(std::string_view ligne, char separateur) {
  std::vector<std::string_view> morceaux;
  for (auto m : std::views::split(ligne, separateur)) morceaux.emplace_back(m.begin(), m.end());
  return morceaux;
}

std::optional<RecepteurMemorise> lireLigne(std::string_view ligne) {
  const auto champs = couper(ligne, '\t');
  if (champs.size() != 6) return std::nullopt;
  RecepteurMemorise r;
  if (champs[0] != "-") {
    r.identifiant = depuisHexa<16>(champs[0]);
    if (!r.identifiant) return std::nullopt;
  }
  const auto paire = depuisHexa<16>(champs[1]);
  const auto psk = depuisHexa<32>(champs[2]);
  if (!paire || !psk) return std::nullopt;
  r.paire.identifiant = *paire;
  r.paire.psk = Secret<32>(*psk);
  const auto usage = champs[3];
  const auto [fin, erreur] =
      std::from_chars(usage.data(), usage.data() + usage.size(), r.dernierUsage);
  if (erreur != std::errc{} || fin != usage.data() + usage.size() || usage.empty())
    return std::nullopt;
  // Ce que l'écriture ne produit jamais : une ligne vide, un retour chariot.
  if (champs[4].empty() || champs[5].empty() || champs[5].contains('\r')) return std::nullopt;
  r.adresse = champs[4];
  r.nom = champs[5];
  return r;
}

bool memeRecepteur(const RecepteurMemorise& r,
                   const std::optional<IdentifiantRecepteur>& identifiant,
                   std::string_view adresse) {
  if (identifiant && r.identifiant) return *identifiant == *r.identifiant;
  return r.adresse == adresse;
}

}  // namespace

Octets ecrireCarnet(const std::vector<RecepteurMemorise>& carnet) {
  std::string t(enTete);
  t += '\n';
  for (const auto& r : carnet) {
    t += r.identifiant ? enHexa(*r.identifiant) : "-";
    t += '\t' + enHexa(r.paire.identifiant) + '\t' + enHexa(r.paire.psk.octets()) + '\t' +
         std::to_string(r.dernierUsage) + '\t' + r.adresse + '\t' + nomSurUneLigne(r.nom) + '\n';
  }
  Octets o(t.begin(), t.end());
  // La PSK en clair ne reste pas dans une chaîne libérée.
  std::ranges::fill(t, '\0');
  return o;
}

std::optional<std::vector<RecepteurMemorise>> lireCarnet(VueOctets donnees) {
  const std::string_view texte(reinterpret_cast<const char*>(donnees.data()), donnees.size());
  if (!texte.ends_with('\n')) return std::nullopt;
  auto lignes = couper(texte.substr(0, texte.size() - 1), '\n');
  if (lignes.empty() || lignes.front() != enTete || lignes.size() - 1 > carnetMax)
    return std::nullopt;
  std::vector<RecepteurMemorise> carnet;
  for (const auto ligne : lignes | std::views::drop(1)) {
    auto r = lireLigne(ligne);
    if (!r) return std::nullopt;
    carnet.push_back(std::move(*r));
  }
  return carnet;
}

std::optional<RecepteurMemorise> chercherMemorise(
    const std::vector<RecepteurMemorise>& carnet,
    const std::optional<IdentifiantRecepteur>& identifiant, std::string_view adresse) {
  const auto it = std::ranges::find_if(
      carnet, [&](const RecepteurMemorise& r) { return memeRecepteur(r, identifiant, adresse); });
  if (it == carnet.end()) return std::nullopt;
  return *it;
}

void retenirMemorise(std::vector<RecepteurMemorise>& carnet, RecepteurMemorise r) {
  std::erase_if(carnet, [&](const RecepteurMemorise& e) {
    return memeRecepteur(e, r.identifiant, r.adresse);
  });
  r.nom = nomSurUneLigne(r.nom);
  carnet.push_back(std::move(r));
  while (carnet.size() > carnetMax)
    carnet.erase(std::ranges::min_element(carnet, {}, &RecepteurMemorise::dernierUsage));
}

bool oublierMemorise(std::vector<RecepteurMemorise>& carnet, std::string_view nom) {
  return std::erase_if(carnet, [&](const RecepteurMemorise& r) {
           return r.nom == nom || r.adresse == nom;
         }) > 0;
}

bool CarnetRecepteurs::modifier(
    const std::function<bool(std::vector<RecepteurMemorise>&)>& changer) {
  auto carnet = lire();
  if (!changer(carnet)) return false;
  return ecrire(carnet).has_value();
}

std::filesystem::path CarnetFichier::cheminParDefaut() {
  // Lu au démarrage, avant tout fil qui changerait l'environnement.
  const auto dossier = dossierEtatUtilisateur(
      "ravlo-link", [](const char* v) { return std::getenv(v); });  // NOLINT(concurrency-mt-unsafe)
  return dossier.empty() ? std::filesystem::path() : dossier / "recepteurs";
}

std::vector<RecepteurMemorise> CarnetFichier::lire() {
  if (chemin_.empty()) return {};
  const auto lu = lireFichierPrive(chemin_, tailleFichierMax);
  if (!lu) return {};
  const std::optional<Octets>& contenu = *lu;
  if (!contenu) return {};
  return lireCarnet(*contenu).value_or(std::vector<RecepteurMemorise>{});
}

std::expected<void, std::string> CarnetFichier::ecrire(
    const std::vector<RecepteurMemorise>& carnet) {
  if (chemin_.empty()) return std::unexpected(std::string("HOME"));
  Octets o = ecrireCarnet(carnet);
  auto r = ecrireFichierPrive(chemin_, o);
  std::ranges::fill(o, 0);
  return r;
}

}  // namespace ravlo
