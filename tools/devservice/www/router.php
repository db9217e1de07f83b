<?php
// Front script for PHP's development server: runs the four service scripts,
// serves stored files under /files/ and the album pages
// /<usergroup>/<user>/view.php?aid=N; everything else is 404, so nothing else
// of the document root is exposed.

declare(strict_types=1);

$path = explode('?', $_SERVER['REQUEST_URI'] ?? '/', 2)[0];

if (in_array($path, ['/getuserdataxml.php', '/getserverxml.php', '/versioncheckxml.php', '/upload.php'], true)) {
    return false; // the server runs the script of that name itself
}

require dirname(__DIR__) . '/lib/common.php';

if (strncmp($path, '/files/', 7) === 0) {
    require dirname(__DIR__) . '/lib/files.php';
    ds_serve_stored(substr($path, 7));
} elseif (preg_match('#^/([^/]+)/([^/]+)/view\.php$#', $path, $m) === 1) {
    require dirname(__DIR__) . '/lib/albumpage.php';
    ds_album_page(rawurldecode($m[1]), rawurldecode($m[2]));
} elseif ($path === '/.devservice-instance') {
    // Lets the start script tell its own server from another one on the port.
    header('Content-Type: text/plain; charset=UTF-8');
    echo (string)getenv('DEVSERVICE_INSTANCE'), "\n";
} elseif ($path === '/') {
    header('Content-Type: text/plain; charset=UTF-8');
    echo "Local Kestrova stand-in: /getuserdataxml.php, /getserverxml.php, /versioncheckxml.php, /upload.php\n";
} else {
    ds_not_found();
}
