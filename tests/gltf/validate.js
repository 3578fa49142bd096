// Runs the Khronos glTF validator on each file named on the command line
// (.glb or .gltf with its external buffers and images) and prints one line
// per file with its counts of errors, warnings and infos, then each error
// and warning. Exit status 1 when any file has an error, 2 on a usage error.
'use strict';
const fs = require('fs');
const path = require('path');
const validator = require('gltf-validator');

async function check(file) {
  const bytes = new Uint8Array(fs.readFileSync(file));
  const report = await validator.validateBytes(bytes, {
    uri: path.basename(file),
    maxIssues: 0,
    externalResourceFunction: (uri) =>
      new Promise((resolve, reject) => {
        fs.readFile(path.join(path.dirname(file), decodeURIComponent(uri)), (err, data) =>
          err ? reject(err.toString()) : resolve(new Uint8Array(data)));
      }),
  });
  const n = report.issues;
  console.log(`${file}: ${n.numErrors} errors, ${n.numWarnings} warnings, ${n.numInfos} infos`);
  for (const m of n.messages) {
    if (m.severity <= 1) {
      const kind = m.severity === 0 ? 'error' : 'warning';
      console.log(`  ${kind} ${m.code} at ${m.pointer || m.offset || ''}: ${m.message}`);
    }
  }
  return n.numErrors;
}

async function main() {
  const files = process.argv.slice(2);
  if (files.length === 0 || files[0] === '--help') {
    console.error('usage: node validate.js FILE.glb|FILE.gltf...');
    process.exit(files.length === 0 ? 2 : 0);
  }
  let failed = 0;
  for (const file of files) {
    try {
      if ((await check(file)) > 0) ++failed;
    } catch (e) {
      console.log(`${file}: cannot be validated: ${e}`);
      ++failed;
    }
  }
  process.exit(failed > 0 ? 1 : 0);
}
main();
