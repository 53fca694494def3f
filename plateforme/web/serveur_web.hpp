// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "plateforme/accueil_pages.hpp"
#include "protocol/supervision/erreur_reseau.hpp"

namespace ravlo {

/// Un fichier servi depuis la mémoire : son chemin (« /index.html ») et ses octets.
struct RessourceWeb {
  std::string_view chemin;
  std::span<const std::uint8_t> octets;
};

/// Les bornes d'un serveur qu'un client lent ou hostile du réseau local ne doit pas tenir.
struct ReglagesServeurWeb {
  /// Ligne de requête et en-têtes, en octets ; au-delà : 431 et fermeture.
  std::size_t enTetesMax = 8 * 1024;
  /// Connexions TCP ouvertes à la fois, pages comprises ; au-delà, fermées dès l'accueil.
  std::size_t connexionsMax = 16;
  /// Une requête entière, ou le silence d'une page (sondée à mi-délai), au plus.
  std::chrono::milliseconds delaiInactif{15'000};
  /// Une page que `garder` ne retient pas est renvoyée après ce délai.
  std::chrono::milliseconds delaiAppairage{120'000};
  /// Le seul chemin du WebSocket.
  std::string cheminSocket = "/ravlo";
};

/// Serveur HTTP et WebSocket sur toutes les adresses (IPv6 et IPv4) : il sert les ressources
/// données (« / » est « /index.html »), rien d'autre (404, sans liste de dossier), et un
/// WebSocket dont l'origine doit être l'hôte et le port servis. Le premier message d'une page
/// est son bonjour en texte (`BonjourPage`) ; ensuite, des messages binaires seulement, de
/// `CanalPage::tailleMax` octets au plus : tout autre message la renvoie.
///
/// Son propre fil fait tourner le réseau ; les ressources doivent vivre plus que lui.
class ServeurWeb final : public AccueilPages {
 public:
  ServeurWeb(std::span<const RessourceWeb> ressources, ReglagesServeurWeb reglages);
  ~ServeurWeb() override;
  ServeurWeb(const ServeurWeb&) = delete;
  ServeurWeb& operator=(const ServeurWeb&) = delete;

  /// Écoute sur `port` (0 : au choix du système) et lance le fil ; rend le port lié. Une fois.
  [[nodiscard]] std::expected<std::uint16_t, ErreurReseau> ecouter(std::uint16_t port);

  void demarrer(Executeur& file, RappelArrivee arrivee, RappelDepart depart) override;
  [[nodiscard]] std::shared_ptr<ConnexionDatagramme> connexion(const PointReseau& point,
                                                               File& file) override;
  void garder(const PointReseau& point) override;
  void arreter() override;

  struct Etat;

 private:
  std::unique_ptr<Etat> etat_;
};

}  // namespace ravlo
