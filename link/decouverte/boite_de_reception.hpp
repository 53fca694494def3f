#pragma once

#include <asio/awaitable.hpp>
#include <chrono>
#include <cstdint>
#include <deque>
#include <expected>
#include <functional>
#include <memory>
#include <optional>

#include "plateforme/connexion_datagramme.hpp"
#include "plateforme/executeur.hpp"
#include "protocol/base/verrou.hpp"

namespace ravlo {

/// Boîte aux lettres d'un dialogue d'appairage : reçoit les datagrammes d'une connexion
/// sur la file du chercheur et les rend un à un à un seul attendant, avec un délai par
/// attente. Un datagramme arrivé quand personne n'attend est gardé (le plus ancien d'abord) ;
/// l'attente suivante le rend aussitôt, sans délai programmé.
///
/// Chaque attente porte un numéro ; son délai ne termine que l'attente de ce numéro, si
/// bien qu'un délai en retard d'une attente déjà servie ne coupe jamais la suivante. Un
/// attendant est repris exactement une fois : par une arrivée, par son délai, ou par
/// `fermer()`. Le verrou n'est jamais tenu quand on le reprend.
class BoiteDeReception : public std::enable_shared_from_this<BoiteDeReception> {
 public:
  using Arrivee = std::expected<Octets, ErreurReseau>;
  /// Un datagramme, rien (délai passé ou boîte fermée), ou l'erreur de réception.
  using Resultat = std::expected<std::optional<Octets>, ErreurReseau>;

  [[nodiscard]] static std::shared_ptr<BoiteDeReception> creer(Executeur& file);

  /// Appelé sur la file par la réception de la connexion.
  void deposer(Arrivee arrivee);
  /// Une attente à la fois. À attendre depuis une coroutine tournant sur la file.
  [[nodiscard]] asio::awaitable<Resultat> attendre(std::chrono::milliseconds delai);
  void expirer(std::int64_t numero);
  /// Pour de bon ; un attendant est repris avec rien, les arrivées suivantes sont jetées.
  void fermer();
  /// Arme la boucle de réception de la connexion, qui nourrit la boîte jusqu'à une erreur.
  void ecouter(const std::shared_ptr<ConnexionDatagramme>& connexion);

 private:
  using Suite = std::function<void(Resultat)>;

  explicit BoiteDeReception(Executeur& file) : file_(file) {}
  void commencerAttente(std::chrono::milliseconds delai, const Suite& suite);
  static Resultat versResultat(Arrivee arrivee);

  Executeur& file_;
  Verrou verrou_;
  std::deque<Arrivee> arrives_ GARDE_PAR(verrou_);
  std::optional<std::pair<std::int64_t, Suite>> attente_ GARDE_PAR(verrou_);
  std::int64_t numero_ GARDE_PAR(verrou_) = 0;
  bool fermee_ GARDE_PAR(verrou_) = false;
};

/// Envoie un datagramme et ne rend la main qu'une fois l'envoi traité par la pile réseau,
/// quel qu'en soit le résultat.
[[nodiscard]] asio::awaitable<void> envoyerPuisAttendre(Octets datagramme,
                                                        ConnexionDatagramme& connexion);

}  // namespace ravlo
