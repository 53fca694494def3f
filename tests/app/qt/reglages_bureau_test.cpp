#include "link/app/qt/reglages_bureau.hpp"

#include <gtest/gtest.h>

namespace ravlo {
namespace {

TEST(ReglagesBureau, LeBureauCourantDAbordPuisLesAutresPuisLesOutilsSeuls) {
  const auto presents = [](QStringList liste) {
    return [liste](const QString& p) { return liste.contains(p); };
  };
  const QStringList tous{"systemsettings", "gnome-control-center", "pavucontrol",
                         "nm-connection-editor"};
  const struct {
    SujetReglages sujet;
    const char* bureau;
    QStringList installes;
    std::optional<OutilReglages> attendu;
  } cas[] = {
      {SujetReglages::son, "KDE", tous, OutilReglages{"systemsettings", {"kcm_pulseaudio"}}},
      {SujetReglages::son, "ubuntu:GNOME", tous, OutilReglages{"gnome-control-center", {"sound"}}},
      {SujetReglages::reseau, "GNOME", tous, OutilReglages{"gnome-control-center", {"wifi"}}},
      {SujetReglages::son, "XFCE", tous, OutilReglages{"pavucontrol", {}}},
      // Bureau inconnu : un outil de bureau installé passe avant l'outil seul.
      {SujetReglages::reseau,
       "",
       {"nm-connection-editor", "kcmshell6"},
       OutilReglages{"kcmshell6", {"kcm_networkmanagement"}}},
      {SujetReglages::son, "GNOME", {"pavucontrol-qt"}, OutilReglages{"pavucontrol-qt", {}}},
      {SujetReglages::reseau, "KDE", {"pavucontrol"}, std::nullopt},
  };
  for (const auto& c : cas) {
    EXPECT_EQ(choisirOutilReglages(c.sujet, QString::fromLatin1(c.bureau), presents(c.installes)),
              c.attendu)
        << c.bureau << " " << static_cast<int>(c.sujet);
  }
}

}  // namespace
}  // namespace ravlo
