// SPDX-License-Identifier: MPL-2.0
#include "link/app/qt/reglages_bureau.hpp"

#include <QProcess>
#include <QStandardPaths>
#include <array>
#include <vector>

namespace ravlo {

namespace {

struct Candidat {
  const char* bureau;  // nullptr : sans bureau particulier
  const char* programme;
  std::array<const char*, 2> arguments;
};

// Par ordre de préférence à bureau égal.
constexpr std::array<Candidat, 7> candidatsSon{{
    {"KDE", "systemsettings", {"kcm_pulseaudio", nullptr}},
    {"KDE", "kcmshell6", {"kcm_pulseaudio", nullptr}},
    {"KDE", "kcmshell5", {"kcm_pulseaudio", nullptr}},
    {"GNOME", "gnome-control-center", {"sound", nullptr}},
    {"XFCE", "pavucontrol", {nullptr, nullptr}},
    {nullptr, "pavucontrol", {nullptr, nullptr}},
    {nullptr, "pavucontrol-qt", {nullptr, nullptr}},
}};

constexpr std::array<Candidat, 6> candidatsReseau{{
    {"KDE", "systemsettings", {"kcm_networkmanagement", nullptr}},
    {"KDE", "kcmshell6", {"kcm_networkmanagement", nullptr}},
    {"KDE", "kcmshell5", {"kcm_networkmanagement", nullptr}},
    {"GNOME", "gnome-control-center", {"wifi", nullptr}},
    {"XFCE", "nm-connection-editor", {nullptr, nullptr}},
    {nullptr, "nm-connection-editor", {nullptr, nullptr}},
}};

OutilReglages outil(const Candidat& c) {
  OutilReglages o{QString::fromLatin1(c.programme), {}};
  for (const char* a : c.arguments) {
    if (a != nullptr) o.arguments << QString::fromLatin1(a);
  }
  return o;
}

}  // namespace

std::optional<OutilReglages> choisirOutilReglages(
    SujetReglages sujet, const QString& bureau, const std::function<bool(const QString&)>& existe) {
  std::vector<Candidat> candidats;
  if (sujet == SujetReglages::son) {
    candidats.assign(candidatsSon.begin(), candidatsSon.end());
  } else {
    candidats.assign(candidatsReseau.begin(), candidatsReseau.end());
  }
  // XDG_CURRENT_DESKTOP est une liste séparée par « : » (« ubuntu:GNOME »).
  const QStringList noms = bureau.split(QLatin1Char(':'), Qt::SkipEmptyParts);
  const auto duBureau = [&](const Candidat& c) {
    return c.bureau != nullptr && noms.contains(QLatin1String(c.bureau), Qt::CaseInsensitive);
  };
  // Trois passes : le bureau courant, les autres bureaux, les outils sans bureau.
  for (int passe = 0; passe < 3; ++passe) {
    for (const Candidat& c : candidats) {
      const bool retenu = passe == 0   ? duBureau(c)
                          : passe == 1 ? c.bureau != nullptr && !duBureau(c)
                                       : c.bureau == nullptr;
      if (retenu && existe(QString::fromLatin1(c.programme))) return outil(c);
    }
  }
  return std::nullopt;
}

std::optional<OutilReglages> outilReglages(SujetReglages sujet) {
  return choisirOutilReglages(sujet, qEnvironmentVariable("XDG_CURRENT_DESKTOP"),
                              [](const QString& programme) {
                                return !QStandardPaths::findExecutable(programme).isEmpty();
                              });
}

bool ouvrirReglages(SujetReglages sujet) {
  const std::optional<OutilReglages> o = outilReglages(sujet);
  return o.has_value() && QProcess::startDetached(o->programme, o->arguments);
}

ReglagesBureau ReglagesBureau::systeme() {
  return {[](SujetReglages sujet) { return outilReglages(sujet).has_value(); },
          [](SujetReglages sujet) { ouvrirReglages(sujet); }};
}

}  // namespace ravlo
