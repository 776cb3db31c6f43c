// DWG to DXF for Kernavisto, run by the program as a separate process:
//   node dwg2dxf.mjs IN.dwg OUT.dxf
// LibreDWG compiled to WebAssembly (@mlightcad/libredwg-web, pinned in
// package.json) reads the DWG and writes the DXF on its in-memory file
// system; this script only moves the bytes and mends one flaw of that DXF.
//
// The flaw: the DXF it writes has every layer off (a negative colour in the
// LAYER table), whatever the DWG says. The DWG's own layer records are read
// once more and each layer gets the state it has there, found by handle; a
// layer whose state cannot be read is turned on.
//
// Exit code 0 with OUT written; otherwise 1 and one line on stderr saying why
// (OUT is then not written). The program shows that line to the user.
// mendLayers is exported for the program's tests.
import fs from 'node:fs';
import path from 'node:path';
import url from 'node:url';
import v8 from 'node:v8';

// The module is 9 MB of WebAssembly: the optimising compiler would spend far
// longer (and hundreds of megabytes) on it than the conversion itself takes.
v8.setFlagsFromString('--liftoff-only');

const here = path.dirname(url.fileURLToPath(import.meta.url));
// The package's exports do not list the WebAssembly build, so it is loaded by path.
const wasmModule = path.join(here, 'node_modules', '@mlightcad', 'libredwg-web', 'wasm',
                             'libredwg-web.js');

// Errors from this bit up stop LibreDWG from reading the file at all.
const DWG_ERR_CRITICAL = 128;
const TYPE_LAYER = 51;

function fail(reason) {
  process.stderr.write(reason.replace(/[\r\n]+/g, ' ') + '\n');
  process.exit(1);
}

// Handle (upper-case hexadecimal) -> true when the layer is off in the DWG.
function layerStates(lib, dwgPath) {
  const states = new Map();
  let dwg = 0;
  try {
    const read = lib.dwg_read_file(dwgPath);
    if (!read || read.error >= DWG_ERR_CRITICAL || !read.data) return states;
    dwg = read.data;
    const count = lib.dwg_get_num_objects(dwg);
    for (let i = 0; i < count; i++) {
      const obj = lib.dwg_get_object(dwg, i);
      if (!obj || lib.dwg_object_get_fixedtype(obj) !== TYPE_LAYER) continue;
      const off = lib.dwg_dynapi_entity_value(lib.dwg_object_to_object_tio(obj), 'off');
      if (!off || !off.success) continue;
      const handle = lib.dwg_obj_get_handle_value(obj).toString(16).toUpperCase();
      states.set(handle, off.data !== 0);
    }
  } catch {
    // Unknown states: every layer is turned on.
  } finally {
    if (dwg) {
      try {
        lib.dwg_free(dwg);
      } catch {
        // nothing more to do with it
      }
    }
  }
  return states;
}

// Rewrites the colour (62) of every LAYER table entry: positive when the
// layer is on, negative when off. Only those value lines change.
export function mendLayers(dxf, states) {
  const eol = dxf.includes('\r\n') ? '\r\n' : '\n';
  const lines = dxf.split(/\r?\n/);
  let inLayer = false;
  let handle = '';
  let colourLine = -1;
  const finish = () => {
    if (!inLayer || colourLine < 0) return;
    const value = parseInt(lines[colourLine].trim(), 10);
    if (Number.isNaN(value) || value === 0) return;
    const off = states.get(handle) === true;
    const magnitude = Math.abs(value);
    const text = String(off ? -magnitude : magnitude);
    lines[colourLine] = text.padStart(6, ' ');
  };
  for (let i = 0; i + 1 < lines.length; i += 2) {
    const code = lines[i].trim();
    const value = lines[i + 1].trim();
    if (code === '0') {
      finish();
      inLayer = value === 'LAYER';
      handle = '';
      colourLine = -1;
    } else if (inLayer && code === '5') {
      handle = value.toUpperCase();
    } else if (inLayer && code === '62') {
      colourLine = i + 1;
    }
  }
  finish();
  return lines.join(eol);
}

async function main() {
  const [input, output] = process.argv.slice(2);
  if (!input || !output) fail('вызов: node dwg2dxf.mjs ВХОД.dwg ВЫХОД.dxf');
  let bytes;
  try {
    bytes = fs.readFileSync(input);
  } catch (e) {
    fail(`не удалось прочитать файл (${e.code || e.message})`);
  }
  if (bytes.length < 6 || bytes.toString('latin1', 0, 4) !== 'AC10') {
    fail('это не чертёж DWG (нет подписи AC10xx в начале файла)');
  }
  let lib;
  try {
    const factory = (await import(url.pathToFileURL(wasmModule).href)).default;
    // LibreDWG's own chatter is not for the user.
    lib = await factory({ print: () => {}, printErr: () => {} });
  } catch (e) {
    fail(`конвертер DWG не установлен (${e.code || 'нет модуля'}): выполните scripts/deps.sh`);
  }
  lib.FS.writeFile('/in.dwg', bytes);
  let rc;
  try {
    rc = lib.dwg_write_dxf('/in.dwg', '/out.dxf');
  } catch (e) {
    fail(`LibreDWG прервал чтение чертежа (${String(e.message || e).slice(0, 80)})`);
  }
  let dxf;
  try {
    dxf = lib.FS.readFile('/out.dxf');
  } catch {
    dxf = null;
  }
  if (rc >= DWG_ERR_CRITICAL || !dxf || dxf.length === 0) {
    fail(`LibreDWG не смог прочитать чертёж (${bytes.toString('latin1', 0, 6).replace(/[^ -~]/g, '?')}, код ошибки ${rc})`);
  }
  // The DXF is ASCII with its strings in the drawing's code page or UTF-8;
  // latin1 keeps every byte as it is through the line edit.
  const mended = mendLayers(Buffer.from(dxf).toString('latin1'), layerStates(lib, '/in.dwg'));
  try {
    fs.writeFileSync(output, Buffer.from(mended, 'latin1'));
  } catch (e) {
    fail(`не удалось записать DXF (${e.code || e.message})`);
  }
}

// Run as a program (not imported by a test of mendLayers).
if (process.argv[1] && import.meta.url === url.pathToFileURL(path.resolve(process.argv[1])).href) {
  main().catch((e) => fail(`сбой конвертера (${String(e && e.message || e).slice(0, 80)})`));
}
