// SPDX-License-Identifier: MPL-2.0
#include "link/diffusion/alimentation.hpp"

namespace ravlo {

namespace {
constexpr std::uint64_t tramesParBloc = 480;
}

Alimentation::Alimentation(std::shared_ptr<TamponAudio> tampon, std::shared_ptr<SourceAudio> source,
                           Executeur& file, const Horloge& horloge)
    : tampon_(std::move(tampon)),
      source_(std::move(source)),
      file_(file),
      horloge_(horloge),
      bloc_(flux::canaux * tramesParBloc) {}

Alimentation::~Alimentation() {
  arreter();
}

void Alimentation::demarrer() {
  debutNs_ = horloge_.hoteNs();
  produites_ = 0;
  minuterie_ = file_.repeter(std::chrono::milliseconds(5), std::chrono::milliseconds(1),
                             [this] { verser(); });
}

void Alimentation::arreter() {
  if (minuterie_) minuterie_->annuler();
}

void Alimentation::verser() {
  if (terminee_) return;
  const auto dues = static_cast<std::uint64_t>(
      flux::tramesDeNs(static_cast<std::int64_t>(ecartNs(horloge_.hoteNs(), debutNs_))));
  while (produites_ < dues) {
    const std::uint64_t n = std::min(dues - produites_, tramesParBloc);
    const std::size_t faites = source_->produire(std::span(bloc_).first(flux::canaux * n));
    if (faites == 0) {
      terminee_ = true;
      return;
    }
    const InstantNs heure =
        debutNs_ + static_cast<InstantNs>(flux::nsDeTrames(static_cast<std::int64_t>(produites_)));
    // Un anneau plein refuse le bloc (compté dans ses `perdus`) : le temps réel n'attend pas.
    tampon_->ecrire(VueOctets(reinterpret_cast<const std::uint8_t*>(bloc_.data()),
                              faites * flux::octetsParTrame),
                    heure);
    produites_ += faites;
    versees_ += static_cast<std::int64_t>(faites);
  }
}

}  // namespace ravlo
