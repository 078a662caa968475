// npm dbffile as an independent writer and reader for the Quillora tests (NODE_PATH must reach it).
//   node dbffile_oracle.js create PATH  - a 0x03 table NOME C20, VALOR N10.2, QTD N5, NASC D, ATIVO L
//                                         with three records, text in ISO-8859-1
//   node dbffile_oracle.js dump PATH    - the record count of the header, then one line per record
//                                         (deleted ones included): flag, then values, tab separated
'use strict';
const {DBFFile, DELETED} = require('dbffile');

async function main() {
    const [mode, path] = process.argv.slice(2);
    if (mode === 'create') {
        const dbf = await DBFFile.create(path, [
            {name: 'NOME', type: 'C', size: 20},
            {name: 'VALOR', type: 'N', size: 10, decimalPlaces: 2},
            {name: 'QTD', type: 'N', size: 5, decimalPlaces: 0},
            {name: 'NASC', type: 'D', size: 8},
            {name: 'ATIVO', type: 'L', size: 1},
        ], {fileVersion: 0x03, encoding: 'latin1'});
        await dbf.appendRecords([
            {NOME: 'Conceição', VALOR: 1.5, QTD: 10, NASC: new Date('1980-02-29'), ATIVO: true},
            {NOME: 'Pedro', VALOR: -20.25, QTD: -3, NASC: new Date('2001-12-31'), ATIVO: false},
            {NOME: 'Vazio', VALOR: null, QTD: null, NASC: null, ATIVO: null},
        ]);
        return;
    }
    const dbf = await DBFFile.open(path, {encoding: 'latin1', includeDeletedRecords: true});
    const lines = [String(dbf.recordCount)];
    const show = (v) => v === null || v === undefined ? '<null>'
        : v instanceof Date ? v.toISOString().slice(0, 10) : String(v);
    for (const rec of await dbf.readRecords(dbf.recordCount + 1)) {
        lines.push([rec[DELETED] ? 'DEL' : 'ok', ...dbf.fields.map(f => show(rec[f.name]))].join('\t'));
    }
    process.stdout.write(lines.join('\n') + '\n');
}

main().catch((e) => {
    process.stderr.write(String(e && e.stack || e) + '\n');
    process.exit(1);
});
