#include "link/app/qt/polices.hpp"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QGuiApplication>

namespace ravlo {
namespace {

TEST(Polices, LesSeptFacesSeChargentEtSuiventLaTailleDuBureau) {
  ASSERT_EQ(chargerPolices(), 7);
  const struct {
    Face face;
    const char* famille;
    int graisse;
  } cas[] = {{Face::archivoBold, "Archivo", QFont::Bold},
             {Face::archivoSemiBold, "Archivo", QFont::DemiBold},
             {Face::instrumentRegular, "Instrument Sans", QFont::Normal},
             {Face::instrumentMedium, "Instrument Sans", QFont::Medium},
             {Face::instrumentSemiBold, "Instrument Sans", QFont::DemiBold},
             {Face::plexMonoMedium, "IBM Plex Mono", QFont::Medium},
             {Face::plexMonoSemiBold, "IBM Plex Mono", QFont::DemiBold}};
  for (const auto& c : cas) {
    const QFontInfo info(police(c.face, 2.0));
    EXPECT_EQ(info.family(), QLatin1String(c.famille)) << c.famille;
    EXPECT_EQ(info.weight(), c.graisse) << c.famille;
    EXPECT_DOUBLE_EQ(info.pointSizeF(), 2 * QGuiApplication::font().pointSizeF());
  }
}

}  // namespace
}  // namespace ravlo
