// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <cstdio>
#include <cstdlib>

// Une précondition rompue est une faute de programmation : on s'arrête net, avec le lieu.
// Jamais pour des données venues de l'extérieur, qui donnent des erreurs en valeurs.
#define RAVLO_EXIGER(condition)                                                                  \
  do {                                                                                           \
    if (!(condition)) {                                                                          \
      std::fprintf(stderr, "%s:%d: précondition rompue : %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                              \
    }                                                                                            \
  } while (false)
