// SPDX-License-Identifier: MPL-2.0
#include "plateforme/sortie_wav.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <system_error>

#include "plateforme/horloge.hpp"
#include "protocol/audio/fichier_wav.hpp"
#include "protocol/audio/format_flux.hpp"

namespace ravlo {
namespace {

class TempsSysteme final : public SortieWav::Temps {
 public:
  InstantNs maintenant() override {
    return static_cast<InstantNs>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                      std::chrono::steady_clock::now().time_since_epoch())
                                      .count());
  }
  void dormirJusqua(InstantNs instant) override {
    std::this_thread::sleep_until(std::chrono::steady_clock::time_point(
        std::chrono::nanoseconds(static_cast<std::int64_t>(instant))));
  }
};

}  // namespace

std::expected<std::unique_ptr<SortieWav>, std::string> SortieWav::creer(
    const std::filesystem::path& chemin, std::shared_ptr<Temps> temps) {
  std::FILE* f = std::fopen(chemin.c_str(), "wb");
  if (f == nullptr) return std::unexpected(std::generic_category().message(errno));
  const Octets entete = FichierWav::entete(0);
  if (std::fwrite(entete.data(), 1, entete.size(), f) != entete.size()) {
    std::fclose(f);
    return std::unexpected(std::generic_category().message(errno));
  }
  if (temps == nullptr) temps = std::make_shared<TempsSysteme>();
  return std::unique_ptr<SortieWav>(new SortieWav(f, std::move(temps)));
}

SortieWav::~SortieWav() {
  arreter();
  std::fclose(fichier_);
}

std::optional<ErreurSortie> SortieWav::demarrer(RappelRendu rappel) {
  arret_ = false;
  fil_ = std::thread([this, r = std::move(rappel)] { tourner(r); });
  return std::nullopt;
}

void SortieWav::tourner(const RappelRendu& rappel) {
  std::array<float, flux::canaux * tramesParBloc> flottants{};
  std::array<std::uint8_t, flux::octetsParTrame * tramesParBloc> octets{};
  InstantNs echeance = temps_->maintenant();
  std::optional<InstantNs> manqueDepuis;  // premier refus du bloc dû
  while (!arret_.load()) {
    const InstantNs t = temps_->maintenant();
    if (ecartSigneNs(echeance, t) > 0) {
      temps_->dormirJusqua(echeance);
      continue;
    }
    const bool peutAttendre =
        !manqueDepuis || ecartNs(t, *manqueDepuis) < static_cast<std::uint64_t>(grace.count());
    if (!rappel(flottants, hoteNs(), peutAttendre)) {
      if (!manqueDepuis) manqueDepuis = t;
      temps_->dormirJusqua(t + static_cast<InstantNs>(relance.count()));
      continue;
    }
    manqueDepuis.reset();
    for (std::size_t i = 0; i < flottants.size(); ++i) {
      const float x = std::clamp(std::nearbyint(flottants[i] * 32767.0F), -32768.0F, 32767.0F);
      const auto v = static_cast<std::uint16_t>(static_cast<std::int16_t>(x));
      octets[flux::octetsParEchantillon * i] = static_cast<std::uint8_t>(v & 0xFF);
      octets[flux::octetsParEchantillon * i + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    const std::size_t ecrits = std::fwrite(octets.data(), 1, octets.size(), fichier_);
    octets_ += ecrits;
    if (ecrits != octets.size()) {
      erreur_ = errno != 0 ? errno : EIO;
      return;
    }
    echeance += static_cast<InstantNs>(periode.count());
  }
}

std::optional<ErreurSortie> SortieWav::panne() {
  const int e = erreur_.load();
  if (e == 0) return std::nullopt;
  return ErreurSortie{ErreurSortie::Cas::fichier, std::generic_category().message(e)};
}

void SortieWav::arreter() {
  if (!fil_.joinable()) return;
  arret_ = true;
  fil_.join();
  const Octets entete = FichierWav::entete(static_cast<std::uint32_t>(octets_));
  std::fseek(fichier_, 0, SEEK_SET);
  std::fwrite(entete.data(), 1, entete.size(), fichier_);
  std::fflush(fichier_);
  std::fseek(fichier_, 0, SEEK_END);
}

}  // namespace ravlo
