// SPDX-License-Identifier: MPL-2.0
#include "plateforme/web/adresses_page.hpp"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "plateforme/avahi/nom_local_avahi.hpp"
#include "protocol/base/point_reseau.hpp"

namespace ravlo {

namespace {

enum class Famille : std::uint8_t { v4, v6 };

// La famille d'une adresse qu'un téléphone du réseau peut joindre, rien sinon.
std::optional<Famille> familleJoignable(const std::string& adresse) {
  std::array<std::uint8_t, 16> o{};
  if (inet_pton(AF_INET, adresse.c_str(), o.data()) == 1) {
    if (o[0] == 127 || o[0] == 0) return std::nullopt;
    if (o[0] == 169 && o[1] == 254) return std::nullopt;
    if (o[0] >= 224) return std::nullopt;  // multidiffusion, réservées
    return Famille::v4;
  }
  if (inet_pton(AF_INET6, adresse.c_str(), o.data()) == 1) {
    constexpr std::array<std::uint8_t, 16> nulle{};
    auto boucle = nulle;
    boucle[15] = 1;
    if (o == nulle || o == boucle) return std::nullopt;
    if (o[0] == 0xfe && (o[1] & 0xc0U) == 0x80) return std::nullopt;
    if (o[0] == 0xff) return std::nullopt;
    return Famille::v6;
  }
  return std::nullopt;
}

std::string url(const std::string& hote, std::uint16_t port) {
  if (port == 80) {
    const bool v6 = hote.find(':') != std::string::npos;
    return "http://" + (v6 ? "[" + hote + "]" : hote) + "/";
  }
  return "http://" + enTexte(hote, port) + "/";
}

}  // namespace

std::vector<std::string> adressesPage(std::uint16_t port,
                                      std::span<const AdresseInterface> interfaces,
                                      const std::optional<std::string>& nomLocal) {
  std::vector<std::string> v4;
  std::vector<std::string> v6;
  for (const auto& i : interfaces) {
    if (!i.active || i.boucle) continue;
    const auto famille = familleJoignable(i.adresse);
    if (!famille) continue;
    auto& liste = *famille == Famille::v4 ? v4 : v6;
    auto u = url(i.adresse, port);
    if (std::ranges::find(liste, u) == liste.end()) liste.push_back(std::move(u));
  }
  std::vector<std::string> adresses;
  if (nomLocal && !nomLocal->empty()) adresses.push_back(url(*nomLocal, port));
  adresses.insert(adresses.end(), v4.begin(), v4.end());
  adresses.insert(adresses.end(), v6.begin(), v6.end());
  return adresses;
}

std::vector<std::string> adressesPage(std::uint16_t port) {
  std::vector<AdresseInterface> interfaces;
  ifaddrs* liste = nullptr;
  if (getifaddrs(&liste) == 0) {
    for (const ifaddrs* i = liste; i != nullptr; i = i->ifa_next) {
      if (i->ifa_addr == nullptr) continue;
      std::array<char, INET6_ADDRSTRLEN> texte{};
      const void* octets = nullptr;
      const int famille = i->ifa_addr->sa_family;
      if (famille == AF_INET) {
        octets = &reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr;
      } else if (famille == AF_INET6) {
        octets = &reinterpret_cast<const sockaddr_in6*>(i->ifa_addr)->sin6_addr;
      } else {
        continue;
      }
      if (inet_ntop(famille, octets, texte.data(), texte.size()) == nullptr) continue;
      interfaces.push_back(
          {texte.data(), (i->ifa_flags & IFF_UP) != 0U, (i->ifa_flags & IFF_LOOPBACK) != 0U});
    }
    freeifaddrs(liste);
  }
  return adressesPage(port, interfaces, nomLocalAvahi());
}

std::string adressePourQr(const std::vector<std::string>& adresses) {
  for (const auto& a : adresses) {
    const auto fin = a.find_first_of(":/", std::string_view("http://").size());
    const std::string_view hote =
        std::string_view(a).substr(7, fin == std::string::npos ? std::string::npos : fin - 7);
    if (!hote.ends_with(".local")) return a;
  }
  return adresses.empty() ? std::string{} : adresses.front();
}

}  // namespace ravlo
