<?php
// The upload address: this server's own upload script.
header('Content-Type: text/xml; charset=UTF-8');
echo '<?xml version="1.0" encoding="UTF-8"?>', "\n",
    '<getserver><uploadform>http://127.0.0.1:', $_SERVER['SERVER_PORT'], '/upload.php</uploadform></getserver>';
