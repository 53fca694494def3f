// SPDX-License-Identifier: MPL-2.0
#include "link/app/serveur_telephone.hpp"

#include "link/ressources/page/page_embarquee.hpp"
#include "plateforme/web/adresses_page.hpp"
#include "plateforme/web/serveur_web.hpp"

namespace ravlo {

EcouteTelephone::Ouvrir ouvrirServeurTelephone() {
  return [](std::uint16_t port) -> std::expected<EcouteTelephone::AccueilOuvert, ErreurReseau> {
    // Un serveur n'écoute qu'une fois : un port refusé demande un serveur neuf.
    auto serveur = std::make_shared<ServeurWeb>(ressourcesPage(), ReglagesServeurWeb{});
    const auto lie = serveur->ecouter(port);
    if (!lie) return std::unexpected(lie.error());
    return EcouteTelephone::AccueilOuvert{std::move(serveur), *lie};
  };
}

std::vector<std::string> adressesTelephone(std::uint16_t port) {
  return adressesPage(port);
}

}  // namespace ravlo
