// SPDX-License-Identifier: MPL-2.0
// Les captures de la page à 390×844, en français et en anglais : au repos, le code montré, en
// lecture, finie. La page est celle que sert `ravlo-envoi --navigateur --ton 440`, dans
// Chromium, comme l'essai la pilote (scripts/captures_page).
//   node tests/navigateur/captures.mjs DOSSIER     (RAVLO_ENVOI, RAVLO_NAV_ADRESSE)
import { mkdir } from 'node:fs/promises';
import { join } from 'node:path';
import { attendreQue, lancer, lancerChromium } from './chromium_outils.mjs';

const dossier = process.argv[2];
if (!dossier) throw new Error('usage : captures.mjs DOSSIER');
await mkdir(dossier, { recursive: true });

const etat = (page) => page.evaluate(() => window.ravloEtat);
const attendreEtat = (page, voulu) =>
  attendreQue(async () => (await etat(page)) === voulu, { quoi: `l'état ${voulu}` });

for (const [langue, suffixe] of [['fr-FR', 'fr'], ['en-US', 'en']]) {
  const envoi = lancer(process.env.RAVLO_ENVOI, ['--navigateur', '--port-web', '0', '--ton', '440']);
  const { navigateur, page } = await lancerChromium({ langue });
  try {
    const port = (await envoi.ligne(/^Page servie sur le port \d+/)).match(/\d+/)[0];
    const adresse = `http://${process.env.RAVLO_NAV_ADRESSE}:${port}/`;
    await page.goto(adresse);
    await attendreEtat(page, 'attente');
    const capture = (nom) => page.screenshot({ path: join(dossier, `page-${suffixe}-${nom}.png`) });
    await capture('repos');
    await page.click('#ecouter');
    await attendreEtat(page, 'code');
    await capture('code');
    const code = (await page.locator('#code').textContent()).replace(/\D/g, '');
    envoi.ecrire(`${code}\n`);
    await attendreEtat(page, 'lecture');
    // La latence affichée vient des premières mesures de l'horloge.
    await attendreQue(async () => /\d/.test((await page.locator('#latence').textContent()) ?? ''),
      { quoi: 'la latence affichée' });
    // Et ce qu'elle dit une fois la file accordée, pas au premier paquet.
    await page.waitForTimeout(3000);
    await capture('lecture');
    await page.click('#arreter');
    await attendreEtat(page, 'fini');
    await capture('fin');
  } finally {
    await navigateur.close();
    await envoi.arreter();
  }
}
console.log(`captures dans ${dossier}`);
