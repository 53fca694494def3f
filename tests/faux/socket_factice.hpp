// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "plateforme/executeur.hpp"
#include "plateforme/socket_datagramme.hpp"

namespace ravlo::faux {

/// Une socket d'écoute sans réseau, aussi rude que la vraie : ce que le test verse arrive sur
/// la file de la socket par lots de tailles changeantes (1 à `lotMax`, parfois un réveil qui
/// ne lit rien), le trop long écarté et compté ; la file de réception demandée est plafonnée
/// et doublée comme le fait le noyau sans privilège. Les envois se relèvent depuis le test.
class SocketFactice final : public SocketDatagramme {
 public:
  static constexpr std::size_t plafondNoyau = 212'992;

  explicit SocketFactice(File& file) : file_(file) {}

  std::expected<std::uint16_t, ErreurReseau> ecouter(std::uint16_t) override { return 4242; }
  std::size_t dimensionnerReception(std::size_t octets) override {
    return 2 * std::min(octets, plafondNoyau);
  }
  void recevoir(RappelReception rappel) override { rappel_ = std::move(rappel); }
  void envoyer(VueOctets d, const PointReseau& vers) override {
    const std::scoped_lock garde(verrou_);
    envois_.emplace_back(Octets(d.begin(), d.end()), vers);
  }
  std::uint64_t tropLongs() const override { return tropLongs_; }
  void fermer() override { ferme_ = true; }

  /// Verse des datagrammes, livrés dans l'ordre sur la file de la socket ; depuis tout fil.
  void verser(std::vector<std::pair<Octets, PointReseau>> datagrammes) {
    file_.poster([this, d = std::move(datagrammes)] {
      for (std::size_t i = 0; i < d.size() && !ferme_ && rappel_;) {
        const std::size_t n = std::min(d.size() - i, tirage_++ * 7 % (lotMax + 1));
        std::vector<DatagrammeRecu> lot;
        for (std::size_t k = i; k < i + n; ++k) {
          if (d[k].first.size() > tailleMax) {
            ++tropLongs_;
          } else {
            lot.push_back({d[k].first, &d[k].second});
          }
        }
        i += n;
        if (!lot.empty()) rappel_(lot);
      }
    });
  }

  std::vector<std::pair<Octets, PointReseau>> envois() const {
    const std::scoped_lock garde(verrou_);
    return envois_;
  }

 private:
  File& file_;
  RappelReception rappel_;
  std::uint64_t tropLongs_ = 0;
  std::size_t tirage_ = 0;
  bool ferme_ = false;
  mutable std::mutex verrou_;
  std::vector<std::pair<Octets, PointReseau>> envois_;
};

}  // namespace ravlo::faux
