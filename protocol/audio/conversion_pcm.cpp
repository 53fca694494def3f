// SPDX-License-Identifier: MPL-2.0
#include "protocol/audio/conversion_pcm.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ravlo {
namespace {

// Vecteurs de l'extension commune à GCC et clang : huit voies, quelle que soit la cible.
using F32x8 = float __attribute__((vector_size(32)));
using I32x8 = std::int32_t __attribute__((vector_size(32)));
using I16x8 = std::int16_t __attribute__((vector_size(16)));
using I16x16 = std::int16_t __attribute__((vector_size(32)));

constexpr float pleineEchelle = 32767.0f;

// Huit échantillons flottants lus en mémoire, rendus en 16 bits. Mêmes opérations que
// `versEntier` : bornage à [−1, 1], produit en flottant 32 bits, troncature vers zéro.
I16x8 versEntier8(const float* p) {
#if defined(__SSE2__)
  const __m128 moinsUn = _mm_set1_ps(-1.0f);
  const __m128 un = _mm_set1_ps(1.0f);
  const __m128 echelle = _mm_set1_ps(pleineEchelle);
  const auto moitie = [&](const float* q) {
    const __m128 x = _mm_loadu_ps(q);
    const __m128 fini = _mm_cmpeq_ps(_mm_sub_ps(x, x), _mm_setzero_ps());  // faux : NaN, ±∞
    const __m128 borne = _mm_and_ps(_mm_min_ps(_mm_max_ps(x, moinsUn), un), fini);
    return _mm_cvttps_epi32(_mm_mul_ps(borne, echelle));
  };
  // Les valeurs tiennent dans ±32767 : le tassement saturant ne change rien.
  return reinterpret_cast<I16x8>(_mm_packs_epi32(moitie(p), moitie(p + 4)));
#else
  F32x8 x;
  std::memcpy(&x, p, sizeof x);
  const F32x8 moinsUn = F32x8{} - 1.0f;
  const F32x8 un = F32x8{} + 1.0f;
  const F32x8 zero = F32x8{};
  const I32x8 fini = (x - x) == zero;
  F32x8 c = x <= moinsUn ? moinsUn : x;
  c = c > un ? un : c;
  c = fini ? c : zero;
  return __builtin_convertvector(__builtin_convertvector(c * pleineEchelle, I32x8), I16x8);
#endif
}

std::size_t tramesLisibles(std::span<const float> voie, std::size_t pas) {
  if (voie.empty()) return 0;
  if (pas == 0) return std::numeric_limits<std::size_t>::max();
  return (voie.size() - 1) / pas + 1;
}

bool chevauche(const void* a, std::size_t tailleA, const void* b, std::size_t tailleB) {
  const auto* debutA = static_cast<const std::uint8_t*>(a);
  const auto* debutB = static_cast<const std::uint8_t*>(b);
  return std::less<>{}(debutA, debutB + tailleB) && std::less<>{}(debutB, debutA + tailleA);
}

}  // namespace

std::int16_t ConversionPCM::versEntier(float x) {
  if (!std::isfinite(x)) return 0;
  if (x <= -1.0f) return -32767;
  return static_cast<std::int16_t>(std::min(x, 1.0f) * pleineEchelle);
}

std::size_t ConversionPCM::entrelacer(std::span<const float> gauche, std::span<const float> droite,
                                      std::size_t pas, std::size_t trames,
                                      std::span<std::int16_t> vers) {
  const std::size_t n =
      std::min({vers.size() / 2, trames, tramesLisibles(gauche, pas), tramesLisibles(droite, pas)});
  std::size_t i = 0;
  std::int16_t* sortie = vers.data();
  if (pas == 2 && droite.data() == gauche.data() + 1) {
    // Flux entrelacé : la sortie suit l'entrée échantillon pour échantillon.
    const float* entree = gauche.data();
    for (; i + 8 <= n; i += 8) {
      const I16x8 a = versEntier8(entree + 2 * i);
      const I16x8 b = versEntier8(entree + 2 * i + 8);
      std::memcpy(sortie + 2 * i, &a, sizeof a);
      std::memcpy(sortie + 2 * i + 8, &b, sizeof b);
    }
  } else if (pas == 1) {
    for (; i + 8 <= n; i += 8) {
      const I16x8 g = versEntier8(gauche.data() + i);
      const I16x8 d = versEntier8(droite.data() + i);
      const I16x16 mele =
          __builtin_shufflevector(g, d, 0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15);
      std::memcpy(sortie + 2 * i, &mele, sizeof mele);
    }
  }
  for (; i < n; ++i) {
    sortie[2 * i] = versEntier(gauche[i * pas]);
    sortie[2 * i + 1] = versEntier(droite[i * pas]);
  }
  return n;
}

std::size_t ConversionPCM::desentrelacer(std::span<const std::int16_t> source, std::size_t trames,
                                         std::span<float> gauche, std::span<float> droite) {
  const std::size_t n = std::min({trames, source.size() / 2, gauche.size(), droite.size()});
  std::size_t i = 0;
  const bool separes = !chevauche(source.data(), 4 * n, gauche.data(), 4 * n) &&
                       !chevauche(source.data(), 4 * n, droite.data(), 4 * n) &&
                       !chevauche(gauche.data(), 4 * n, droite.data(), 4 * n);
  if (separes) {
    for (; i + 8 <= n; i += 8) {
      I16x16 v;
      std::memcpy(&v, source.data() + 2 * i, sizeof v);
      const I16x8 g = __builtin_shufflevector(v, v, 0, 2, 4, 6, 8, 10, 12, 14);
      const I16x8 d = __builtin_shufflevector(v, v, 1, 3, 5, 7, 9, 11, 13, 15);
      const F32x8 fg = __builtin_convertvector(g, F32x8) / pleineEchelle;
      const F32x8 fd = __builtin_convertvector(d, F32x8) / pleineEchelle;
      std::memcpy(gauche.data() + i, &fg, sizeof fg);
      std::memcpy(droite.data() + i, &fd, sizeof fd);
    }
  }
  for (; i < n; ++i) {
    gauche[i] = static_cast<float>(source[2 * i]) / pleineEchelle;
    droite[i] = static_cast<float>(source[2 * i + 1]) / pleineEchelle;
  }
  return n;
}

}  // namespace ravlo
