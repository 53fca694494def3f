#include "link/decouverte/boite_de_reception.hpp"

#include <asio/associated_executor.hpp>
#include <asio/async_result.hpp>
#include <asio/post.hpp>
#include <asio/use_awaitable.hpp>

namespace ravlo {
namespace {

// Rend copiable (pour std::function) un gestionnaire de complétion qui ne l'est pas, et le
// reprend toujours par son exécuteur, jamais en ligne.
template <typename Gestionnaire, typename... Args>
std::function<void(Args...)> enveloppe(Gestionnaire gestionnaire) {
  auto partage = std::make_shared<Gestionnaire>(std::move(gestionnaire));
  return [partage](Args... args) {
    auto executeur = asio::get_associated_executor(*partage);
    asio::post(executeur,
               [partage, ... a = std::move(args)]() mutable { (*partage)(std::move(a)...); });
  };
}

}  // namespace

std::shared_ptr<BoiteDeReception> BoiteDeReception::creer(Executeur& file) {
  return std::shared_ptr<BoiteDeReception>(new BoiteDeReception(file));
}

BoiteDeReception::Resultat BoiteDeReception::versResultat(Arrivee arrivee) {
  if (!arrivee) return std::unexpected(arrivee.error());
  return std::optional<Octets>(std::move(*arrivee));
}

void BoiteDeReception::deposer(Arrivee arrivee) {
  std::optional<Suite> suite;
  {
    Garde garde(verrou_);
    if (fermee_) return;
    if (attente_) {
      suite = std::move(attente_->second);
      attente_.reset();
    } else {
      arrives_.push_back(std::move(arrivee));
      return;
    }
  }
  (*suite)(versResultat(std::move(arrivee)));
}

asio::awaitable<BoiteDeReception::Resultat> BoiteDeReception::attendre(
    std::chrono::milliseconds delai) {
  co_return co_await asio::async_initiate<const asio::use_awaitable_t<>, void(Resultat)>(
      [this, delai](auto gestionnaire) {
        commencerAttente(delai,
                         enveloppe<decltype(gestionnaire), Resultat>(std::move(gestionnaire)));
      },
      asio::use_awaitable);
}

void BoiteDeReception::commencerAttente(std::chrono::milliseconds delai, const Suite& suite) {
  std::optional<Arrivee> deja;
  std::int64_t numero = 0;
  {
    Garde garde(verrou_);
    if (!arrives_.empty()) {
      deja = std::move(arrives_.front());
      arrives_.pop_front();
    } else {
      numero = ++numero_;
    }
    if (!deja) attente_.emplace(numero, suite);
  }
  if (deja) {
    suite(versResultat(std::move(*deja)));
    return;
  }
  std::weak_ptr<BoiteDeReception> faible = weak_from_this();
  file_.posterApres(delai, [faible, numero] {
    if (const auto moi = faible.lock()) moi->expirer(numero);
  });
}

void BoiteDeReception::expirer(std::int64_t numero) {
  std::optional<Suite> suite;
  {
    Garde garde(verrou_);
    if (!attente_ || attente_->first != numero) return;
    suite = std::move(attente_->second);
    attente_.reset();
  }
  (*suite)(std::optional<Octets>{});
}

void BoiteDeReception::fermer() {
  std::optional<Suite> suite;
  {
    Garde garde(verrou_);
    fermee_ = true;
    if (attente_) {
      suite = std::move(attente_->second);
      attente_.reset();
    }
  }
  if (suite) (*suite)(std::optional<Octets>{});
}

void BoiteDeReception::ecouter(const std::shared_ptr<ConnexionDatagramme>& connexion) {
  std::weak_ptr<BoiteDeReception> faible = weak_from_this();
  std::weak_ptr<ConnexionDatagramme> faibleConnexion = connexion;
  connexion->recevoir([faible, faibleConnexion](std::optional<Octets> datagramme,
                                                std::optional<ErreurReseau> erreur) {
    const auto moi = faible.lock();
    if (!moi) return;
    if (erreur) {
      moi->deposer(std::unexpected(*erreur));
      return;  // plus d'écoute après une erreur
    }
    if (datagramme && !datagramme->empty()) moi->deposer(std::move(*datagramme));
    if (const auto suite = faibleConnexion.lock()) moi->ecouter(suite);
  });
}

asio::awaitable<void> envoyerPuisAttendre(Octets datagramme, ConnexionDatagramme& connexion) {
  co_await asio::async_initiate<const asio::use_awaitable_t<>, void()>(
      [&connexion, &datagramme](auto gestionnaire) {
        connexion.envoyer(std::move(datagramme),
                          enveloppe<decltype(gestionnaire)>(std::move(gestionnaire)));
      },
      asio::use_awaitable);
}

}  // namespace ravlo
