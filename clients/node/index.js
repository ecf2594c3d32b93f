'use strict';
// Client for the Vistrel 5 image-processing server.
//   const { Client } = require('vistrel');
//   const thumb = await new Client({ port: 19985 }).get('/srv/photos/a.jpg', 'cmd=thumb&w=300');

const { Client, Exec2Session, DEFAULT_PORT, KEEP_PRISTINE } = require('./lib/client');
const { VistrelError, ResultError, TransportError, ProtocolError } = require('./lib/errors');
const { meaning } = require('./lib/wire');

module.exports = {
  Client, Exec2Session, DEFAULT_PORT, KEEP_PRISTINE,
  VistrelError, ResultError, TransportError, ProtocolError, meaning,
};
