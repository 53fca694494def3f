// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/repli_sans_zone.hpp"

#include <gtest/gtest.h>

#include "app/banc_app.hpp"
#include "faux/plateforme_app_enregistreuse.hpp"
#include "link/app/qt/cadre_panneau.hpp"
#include "link/app/qt/panneau_link.hpp"

namespace ravlo {
namespace {

// Sans zone, une fenêtre ordinaire qui dit pourquoi ; la zone venue, elle s'y retire ; la
// zone repartie, la fenêtre revient sans répéter la note. Un second lancement la ramène.
TEST(RepliSansZone, FenetreTantQueLaZoneManque) {
  banc::Application app;
  PanneauLink panneau(app.modele, std::make_shared<PlateformeAppEnregistreuse>(), *app.file,
                      ReglagesBureau{});
  bool zone = false;
  RepliSansZone repli(panneau, [&] { return zone; });

  struct Pas {
    bool zone;
    bool enFenetre;
    bool visible;
    bool note;
  };
  const Pas pas[] = {{false, true, true, true},
                     {false, true, true, true},
                     {true, false, false, false},
                     {true, false, false, false},
                     {false, true, true, false}};
  int i = 0;
  for (const Pas& p : pas) {
    SCOPED_TRACE(i++);
    zone = p.zone;
    repli.verifier();
    const CadrePanneau& cadre = panneau.cadre();
    EXPECT_EQ(repli.enFenetre(), p.enFenetre);
    EXPECT_EQ(cadre.enFenetre(), p.enFenetre);
    EXPECT_EQ(cadre.isVisible(), p.visible);
    EXPECT_EQ(!cadre.note().isEmpty(), p.note);
    EXPECT_EQ(cadre.windowFlags().testFlag(Qt::Popup), !p.enFenetre);
  }
  EXPECT_TRUE(app.chercheur().recherche()) << "ouvrir le panneau relance la recherche";

  panneau.cadre().close();
  panneau.rappeler({});
  EXPECT_TRUE(panneau.cadre().isVisible());
  EXPECT_TRUE(panneau.cadre().enFenetre());
}

}  // namespace
}  // namespace ravlo
