// SPDX-License-Identifier: MPL-2.0
#include "plateforme/connexion_udp.hpp"

#include <cerrno>

#include <array>
#include <asio/dispatch.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/udp.hpp>
#include <asio/post.hpp>
#include <vector>

#include "plateforme/erreur_asio.hpp"
#include "protocol/base/verrou.hpp"

namespace ravlo {
namespace {

using Cas = EtatConnexion::Cas;

// Correspondance des erreurs de socket vers les états :
// - réseau absent ou injoignable (ENETDOWN, ENETUNREACH, EHOSTUNREACH, EADDRNOTAVAIL) à la
//   connexion, à l'envoi ou à la réception → attente(erreur) : le réseau peut revenir ;
// - ICMP « port injoignable », que Linux rend en ECONNREFUSED sur la socket connectée à la
//   réception ou à l'envoi suivants → attente(ECONNREFUSED), jusqu'au prochain datagramme
//   reçu → prête ;
// - toute autre erreur à l'ouverture ou à la connexion → échec(erreur) ;
// - toute autre erreur à l'envoi est ignorée (le résultat des envois n'est pas observé).
bool estPassagere(int code) {
  return code == ENETDOWN || code == ENETUNREACH || code == EHOSTUNREACH || code == EADDRNOTAVAIL ||
         code == ECONNREFUSED;
}

class ConnexionUDP final : public ConnexionDatagramme,
                           public std::enable_shared_from_this<ConnexionUDP> {
 public:
  ConnexionUDP(PointReseau point, File& file)
      : point_(std::move(point)), contexte_(file.contexte()), socket_(contexte_) {}

  void surEtat(RappelEtat rappel) override {
    asio::dispatch(contexte_, [moi = shared_from_this(), rappel = std::move(rappel)]() mutable {
      moi->rappelEtat_ = std::move(rappel);
    });
  }

  void demarrer() override {
    asio::dispatch(contexte_, [moi = shared_from_this()] { moi->ouvrir(); });
  }

  void recevoir(RappelReception rappel) override {
    asio::dispatch(contexte_, [moi = shared_from_this(), rappel = std::move(rappel)]() mutable {
      moi->armer(std::move(rappel));
    });
  }

  void envoyer(Octets datagramme) override { envoyer(std::move(datagramme), nullptr); }

  void envoyer(Octets datagramme, Tache traite) override {
    asio::dispatch(contexte_, [moi = shared_from_this(), d = std::move(datagramme),
                               traite = std::move(traite)]() mutable {
      moi->envoyerSurLaFile(VueOctets(d));
      if (traite) asio::post(moi->contexte_, std::move(traite));
    });
  }

  void annuler() override {
    asio::dispatch(contexte_, [moi = shared_from_this()] {
      std::error_code ignoree;
      moi->socket_.close(ignoree);
      moi->changerEtat({Cas::annulee, std::nullopt});
    });
  }

  [[nodiscard]] EtatConnexion etat() const override {
    Garde garde(verrou_);
    return etat_;
  }

 private:
  void ouvrir() {
    if (etat().cas != Cas::initiale) return;
    changerEtat({Cas::preparation, std::nullopt});
    std::error_code erreur;
    const asio::ip::address adresse = asio::ip::make_address(point_.adresse, erreur);
    if (erreur) {
      changerEtat({Cas::echec, ErreurReseau{DomaineErreurReseau::posix, EINVAL}});
    } else {
      const asio::ip::udp::endpoint destination(adresse, point_.port);
      socket_.open(destination.protocol(), erreur);
      if (!erreur) socket_.non_blocking(true, erreur);
      if (!erreur) socket_.connect(destination, erreur);
      if (erreur) {
        const Cas cas = estPassagere(erreur.value()) ? Cas::attente : Cas::echec;
        changerEtat({cas, erreurDe(erreur)});
      } else {
        changerEtat({Cas::prete, std::nullopt});
      }
    }
    // Les écoutes armées avant le démarrage partent maintenant ; sur une socket fermée elles
    // finissent aussitôt en erreur.
    auto ecoutes = std::move(enAttente_);
    enAttente_.clear();
    for (auto& rappel : ecoutes) armer(std::move(rappel));
  }

  void armer(RappelReception rappel) {
    if (etat().cas == Cas::initiale) {
      // Une écoute armée avant le démarrage attend l'ouverture de la socket.
      enAttente_.push_back(std::move(rappel));
      return;
    }
    socket_.async_receive(
        asio::buffer(tampon_), [moi = shared_from_this(), rappel = std::move(rappel)](
                                   const std::error_code& erreur, std::size_t taille) {
          if (erreur == asio::error::operation_aborted || !moi->socket_.is_open()) {
            // Annulée, ou jamais ouverte : l'erreur qui a fermé la connexion, s'il y en a une.
            rappel(std::nullopt, moi->etat().erreur.value_or(
                                     ErreurReseau{DomaineErreurReseau::posix, ECANCELED}));
            return;
          }
          if (erreur) {
            if (estPassagere(erreur.value())) moi->changerEtat({Cas::attente, erreurDe(erreur)});
            rappel(std::nullopt, erreurDe(erreur));
            return;
          }
          if (moi->etat().cas == Cas::attente) moi->changerEtat({Cas::prete, std::nullopt});
          rappel(Octets(moi->tampon_.begin(), moi->tampon_.begin() + taille), std::nullopt);
        });
  }

  void envoyerSurLaFile(VueOctets datagramme) override {
    if (!socket_.is_open()) return;
    std::error_code erreur;
    socket_.send(asio::buffer(datagramme.data(), datagramme.size()), 0, erreur);
    // Une socket pleine (EAGAIN) perd le datagramme : le flux temps réel n'attend pas.
    if (erreur && estPassagere(erreur.value()) && etat().cas == Cas::prete) {
      changerEtat({Cas::attente, erreurDe(erreur)});
    }
  }

  void changerEtat(EtatConnexion nouvel) {
    {
      Garde garde(verrou_);
      if (etat_ == nouvel || etat_.cas == Cas::annulee) return;
      etat_ = nouvel;
    }
    if (rappelEtat_) rappelEtat_(nouvel);
  }

  const PointReseau point_;
  asio::io_context& contexte_;
  // Touchés sur la file seulement.
  asio::ip::udp::socket socket_;
  RappelEtat rappelEtat_;
  std::vector<RappelReception> enAttente_;
  std::array<std::uint8_t, 65'536> tampon_{};

  mutable Verrou verrou_;
  EtatConnexion etat_ GARDE_PAR(verrou_);
};

}  // namespace

std::shared_ptr<ConnexionDatagramme> FabriqueConnexionsUDP::creer(const PointReseau& point,
                                                                  File& file) {
  return std::make_shared<ConnexionUDP>(point, file);
}

}  // namespace ravlo
