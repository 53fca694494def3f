// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <asio/basic_waitable_timer.hpp>
#include <asio/io_context.hpp>
#include <chrono>
#include <memory>

#include "plateforme/executeur.hpp"

namespace ravlo {

/// Horloge chrono sur CLOCK_BOOTTIME, pour que les minuteries asio comptent aussi la veille.
struct HorlogeContinueChrono {
  using rep = std::int64_t;
  using period = std::nano;
  using duration = std::chrono::nanoseconds;
  using time_point = std::chrono::time_point<HorlogeContinueChrono>;
  static constexpr bool is_steady = true;
  static time_point now() noexcept;
};

using MinuterieAsio = asio::basic_waitable_timer<HorlogeContinueChrono>;

/// `Executeur::posterApres` sur un contexte asio.
void posterApresAsio(asio::io_context& contexte, std::chrono::nanoseconds delai, Tache tache);

/// `Executeur::repeter` sur un contexte asio. La minuterie rendue doit disparaître avant
/// le contexte.
[[nodiscard]] std::unique_ptr<Minuterie> repeterAsio(asio::io_context& contexte,
                                                     std::chrono::nanoseconds intervalle,
                                                     Tache tache);

}  // namespace ravlo
