// SPDX-License-Identifier: MPL-2.0
// Les tests des vues tournent sur la plateforme « offscreen » de Qt : ni écran ni serveur X.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // La liste des tests, lue à la construction (aussi sous sanitizers), se passe de Qt.
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
