// SPDX-License-Identifier: MPL-2.0
// Page d'attente : elle se présente à l'ordinateur et montre l'état de la liaison. La page
// de réception véritable la remplace.
'use strict';
const etat = document.getElementById('etat');
const ws = new WebSocket(`ws://${location.host}/ravlo`);
ws.binaryType = 'arraybuffer';
ws.onopen = () => {
  const nom = navigator.userAgent.slice(0, 120).replace(/\n/g, ' ');
  ws.send(`ravlo-page 1\nnom=${nom}\nlangue=${navigator.language}`);
  etat.textContent = 'Relié à l\u2019ordinateur.';
};
ws.onclose = () => { etat.textContent = 'Déconnecté.'; };
