// SPDX-License-Identifier: MPL-2.0
#pragma once

#include <memory>
#include <string>
#include <thread>

#include "plateforme/executeur.hpp"

namespace ravlo {

/// File série : un contexte asio que fait tourner un seul fil, nommé d'après l'étiquette
/// ("ravlo.emetteur", "ravlo.chercheur"). Les tâches encore en attente à la destruction
/// sont abandonnées sans être exécutées ; la détruire depuis son propre fil est permis.
class FileSerie final : public File {
 public:
  enum class Priorite { normale, elevee };

  /// `elevee` demande au système une priorité d'ordonnancement relevée et s'en passe
  /// quand il la refuse.
  explicit FileSerie(std::string etiquette, Priorite priorite = Priorite::normale);
  ~FileSerie() override;
  FileSerie(const FileSerie&) = delete;
  FileSerie& operator=(const FileSerie&) = delete;

  void poster(Tache tache) override;
  void posterApres(std::chrono::nanoseconds delai, Tache tache) override;
  [[nodiscard]] std::unique_ptr<Minuterie> repeter(std::chrono::nanoseconds intervalle,
                                                   std::chrono::nanoseconds tolerance,
                                                   Tache tache) override;
  [[nodiscard]] asio::io_context& contexte() override;
  [[nodiscard]] std::unique_ptr<Reveil> reveil(Tache tache) override;

  [[nodiscard]] bool estSurLaFile() const { return std::this_thread::get_id() == fil_.get_id(); }
  [[nodiscard]] const std::string& etiquette() const { return etiquette_; }
  /// Vrai si le système a accordé la priorité relevée demandée.
  [[nodiscard]] bool prioriteRelevee() const;

  struct Etat;

 private:
  std::string etiquette_;
  std::shared_ptr<Etat> etat_;
  std::thread fil_;
};

}  // namespace ravlo
