// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "protocol/audio/format_flux.hpp"
#include "protocol/base/octets.hpp"

namespace ravlo {

/// D'où viennent les trames (au format du flux, `flux::`) d'un envoi sans capture.
class SourceAudio {
 public:
  virtual ~SourceAudio() = default;
  /// Remplit jusqu'à `vers.size()` ÷ `flux::canaux` trames ; rend le nombre écrit, 0 à la fin.
  virtual std::size_t produire(std::span<std::int16_t> vers) = 0;
};

/// Sinusoïde sans fin, la même sur les deux voies.
class SourceTon final : public SourceAudio {
 public:
  explicit SourceTon(double frequenceHz, double niveaudBFS = -6.0);
  std::size_t produire(std::span<std::int16_t> vers) override;

 private:
  double pas_;
  double amplitude_;
  double phase_ = 0;
};

/// Le contenu d'un fichier WAV au format du flux, lu une fois en mémoire.
class SourceWav final : public SourceAudio {
 public:
  /// Le fichier, ou la phrase qui dit pourquoi il ne convient pas, traduite pour `locale`.
  [[nodiscard]] static std::expected<std::unique_ptr<SourceWav>, std::string> ouvrir(
      const std::filesystem::path& chemin, std::string_view locale);
  std::size_t produire(std::span<std::int16_t> vers) override;

 private:
  SourceWav(Octets contenu, std::size_t debut, std::size_t octets)
      : contenu_(std::move(contenu)), position_(debut), fin_(debut + octets) {}

  Octets contenu_;
  std::size_t position_;
  std::size_t fin_;
};

}  // namespace ravlo
