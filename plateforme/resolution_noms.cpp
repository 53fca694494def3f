// SPDX-License-Identifier: MPL-2.0
#include "plateforme/resolution_noms.hpp"

#include <arpa/inet.h>
#include <netdb.h>

#include <array>
#include <memory>

namespace ravlo {

std::expected<std::vector<std::string>, std::string> resoudreNom(std::string_view hote,
                                                                 FamilleAdresses famille) {
  addrinfo indices{};
  indices.ai_socktype = SOCK_DGRAM;
  indices.ai_family = famille == FamilleAdresses::ipv4 ? AF_INET : AF_INET6;
  addrinfo* brut = nullptr;
  const std::string nom(hote);
  const int erreur = getaddrinfo(nom.c_str(), nullptr, &indices, &brut);
  const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> resultats(brut, &freeaddrinfo);
  if (erreur != 0) return std::unexpected(std::string(gai_strerror(erreur)));
  std::vector<std::string> adresses;
  for (const addrinfo* r = resultats.get(); r != nullptr; r = r->ai_next) {
    std::array<char, INET6_ADDRSTRLEN> texte{};
    const void* adresse =
        r->ai_family == AF_INET
            ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in*>(r->ai_addr)->sin_addr)
            : static_cast<const void*>(
                  &reinterpret_cast<const sockaddr_in6*>(r->ai_addr)->sin6_addr);
    if (inet_ntop(r->ai_family, adresse, texte.data(), texte.size()) != nullptr)
      adresses.emplace_back(texte.data());
  }
  if (adresses.empty()) return std::unexpected(std::string("aucune adresse"));
  return adresses;
}

}  // namespace ravlo
