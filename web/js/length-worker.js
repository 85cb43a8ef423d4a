// Finds how long a song plays, away from the page's thread: for a song whose
// channels all stop, that means rendering it to where the chip falls silent.
import createOpl2 from '../opl2play.mjs';

let opl2 = null;

onmessage = async (e) => {
  const { id, wasmModule, bytes, settings } = e.data;
  try {
    opl2 = opl2 || (await createOpl2({ wasmModule }));
    const song = opl2.open(bytes, settings);
    try {
      postMessage({ id, duration: song.duration });
    } finally {
      song.close();
    }
  } catch (err) {
    postMessage({ id, error: String(err.message || err) });
  }
};
