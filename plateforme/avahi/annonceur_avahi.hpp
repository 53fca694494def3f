// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <memory>

#include "plateforme/annonceur_services.hpp"

namespace ravlo {

/// L'annonce par le démon Avahi (D-Bus), sur toutes ses interfaces. Sans démon, ou quand il
/// part (redémarrage, arrêt), l'état dit `indisponible` une fois ; l'annonceur attend alors le
/// démon (bus système absent : un nouvel essai toutes les 2 s) et, dès qu'il tourne de
/// nouveau, annonce encore le service et dit `annoncee`. Un nom déjà pris passe au nom de
/// remplacement d'Avahi (« Salon #2 »). Les rappels tournent sur le fil d'Avahi.
class AnnonceurAvahi final : public AnnonceurServices {
 public:
  AnnonceurAvahi();
  ~AnnonceurAvahi() override;
  AnnonceurAvahi(const AnnonceurAvahi&) = delete;
  AnnonceurAvahi& operator=(const AnnonceurAvahi&) = delete;

  void annoncer(const std::string& nom, const std::string& type, std::uint16_t port,
                const std::vector<std::string>& txt, RappelEtat etat) override;
  void retirer() override;

  struct Etat;

 private:
  std::unique_ptr<Etat> etat_;
};

}  // namespace ravlo
